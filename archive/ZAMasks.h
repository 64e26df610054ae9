#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string_view>

namespace za {

// How the user's locale compares single characters, fixed once from its tables.
class TZACollation {
public:
    explicit TZACollation(uint32_t lcid);
    // The collation of the user's default locale, built at first use.
    static const TZACollation& ForUser();

    bool Equal(char a, char b, bool ignoreCase) const {
        const size_t key = (static_cast<size_t>(static_cast<unsigned char>(a)) << 8) |
                           static_cast<unsigned char>(b);
        return ignoreCase ? equalIgnoringCase_[key] : equalWithCase_[key];
    }
    uint8_t Rank(char c) const { return ranks_[static_cast<unsigned char>(c)]; }
    bool RanksArePermutation() const { return ranksArePermutation_; }
    char UpperOf(char c) const;

private:
    uint32_t lcid_;
    std::array<uint8_t, 256> ranks_{};
    bool ranksArePermutation_ = false;
    std::bitset<65536> equalIgnoringCase_;
    std::bitset<65536> equalWithCase_;
};

// Matches a name against a mask of "*" (any run of characters, path separators included)
// and "?" (one character). Both are taken up to a zero byte.
bool WildcardMatch(std::string_view name, std::string_view mask, bool ignoreCase,
                   const TZACollation& collation = TZACollation::ForUser());

// A mask as a user writes it: "*.*" is any name, a final "." asks for no extension.
bool MatchesMask(std::string_view name, std::string_view mask,
                 const TZACollation& collation = TZACollation::ForUser());
// Whether MatchesMask takes every name with the mask, so that a search need not look.
bool MatchesEveryName(std::string_view mask);

} // namespace za
