#include "ZAMasks.h"

#include "ZAStrFunc.h"
#include "platform/CodePages.h"

#include <string>

namespace za {
namespace {

// The Turkish alphabet in Windows-1254, lower case before upper: the letters' order in the
// fixed Turkish collation; every other byte sorts before them by its value.
constexpr std::string_view kTurkishAlphabet = "aAbBcC\xE7\xC7"
                                              "dDeEfFgG\xF0\xD0"
                                              "hH\xFDIi\xDD"
                                              "jJkKlLmMnNoO\xF6\xD6"
                                              "pPqQrRsS\xFE\xDE"
                                              "tTuU\xFC\xDC"
                                              "vVwWxXyYzZ";

std::array<uint8_t, 256> TurkishRanks() {
    std::array<uint8_t, 256> ranks{};
    std::bitset<256> isLetter;
    for (char c : kTurkishAlphabet)
        isLetter[static_cast<unsigned char>(c)] = true;
    int next = 0;
    for (int b = 0; b < 256; ++b)
        if (!isLetter[static_cast<size_t>(b)])
            ranks[static_cast<size_t>(b)] = static_cast<uint8_t>(next++);
    for (char c : kTurkishAlphabet)
        ranks[static_cast<unsigned char>(c)] = static_cast<uint8_t>(next++);
    return ranks;
}

char TurkishUpper(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0x69)
        return '\xDD'; // i → dotted capital I
    if (b == 0xFD)
        return 'I'; // dotless i
    if ((b >= 0x61 && b <= 0x7A) || (b >= 0xE0 && b <= 0xF6) || (b >= 0xF9 && b <= 0xFC) ||
        b == 0xFE)
        return static_cast<char>(b - 0x20);
    return c;
}

std::array<uint8_t, 256> LocaleRanks() {
    std::array<uint8_t, 256> ranks{};
    for (int b = 0; b < 256; ++b) {
        int before = 0;
        for (int other = 0; other < 256; ++other)
            before += platform::CompareAnsiChar(static_cast<char>(other), static_cast<char>(b),
                                                false) < 0;
        ranks[static_cast<size_t>(b)] = static_cast<uint8_t>(before);
    }
    return ranks;
}

bool IsPermutation(const std::array<uint8_t, 256>& ranks) {
    std::bitset<256> seen;
    for (uint8_t r : ranks)
        seen[r] = true;
    return seen.all();
}

} // namespace

TZACollation::TZACollation(uint32_t lcid) : lcid_(lcid) {
    ranks_ = lcid == platform::kLocaleTurkish ? TurkishRanks() : LocaleRanks();
    ranksArePermutation_ = IsPermutation(ranks_);
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const char ca = static_cast<char>(a), cb = static_cast<char>(b);
            const size_t key = (static_cast<size_t>(a) << 8) | static_cast<size_t>(b);
            // With ranks one to one, characters compare on their upper-case images; otherwise
            // the locale's own comparison decides.
            equalWithCase_[key] =
                ranksArePermutation_ ? a == b : platform::CompareAnsiChar(ca, cb, false) == 0;
            equalIgnoringCase_[key] = ranksArePermutation_
                                          ? a == b || UpperOf(ca) == UpperOf(cb)
                                          : platform::CompareAnsiChar(ca, cb, true) == 0;
        }
    }
}

const TZACollation& TZACollation::ForUser() {
    static const TZACollation collation(platform::UserDefaultLCID());
    return collation;
}

char TZACollation::UpperOf(char c) const {
    return lcid_ == platform::kLocaleTurkish ? TurkishUpper(c) : platform::AnsiUpperChar(c);
}

namespace {

// The standard walk: a star takes any run of characters, "?" one character. On a mismatch
// only the latest star takes one character more, since the text between two stars can as
// well match at its earliest place. Time grows with the name times the mask only for
// masks made to be slow, not with the number of stars as a walk trying every split does.
bool GlobMatch(std::string_view name, std::string_view mask, bool ignoreCase,
               const TZACollation& collation) {
    constexpr size_t kNoStar = std::string_view::npos;
    size_t i = 0, j = 0, star = kNoStar, starTakesUpTo = 0;
    while (i < name.size()) {
        if (j < mask.size() && mask[j] == '*') {
            star = j++;
            starTakesUpTo = i;
        } else if (j < mask.size() &&
                   (mask[j] == '?' || collation.Equal(name[i], mask[j], ignoreCase))) {
            ++i;
            ++j;
        } else if (star != kNoStar) {
            j = star + 1;
            i = ++starTakesUpTo;
        } else {
            return false;
        }
    }
    return mask.find_first_not_of('*', j) == std::string_view::npos;
}

// A mask whose end wants at least one character of the name and then takes the rest: a
// final run of two or more stars, or stars right before a final "*.*". How much of it, up
// to a star, the name less its last character must match; npos for any other mask.
size_t NonEmptyTailCut(std::string_view mask) {
    if (mask.ends_with("**"))
        return mask.size() - 1;
    if (mask.ends_with("**.*"))
        return mask.size() - 3;
    return std::string_view::npos;
}

} // namespace

// The match works as a walk in which "*" tries to let the rest of the mask start at each
// later character but the name's end, and a rest of the mask that is exactly "*.*" or "*"
// matches whatever is left. Only the mask's end differs from the standard walk: a lone final
// star takes the rest, even none of it, while the tails above take the rest only when there
// is some.
bool WildcardMatch(std::string_view name, std::string_view mask, bool ignoreCase,
                   const TZACollation& collation) {
    name = UpToZero(name);
    mask = UpToZero(mask);
    if (mask == "*.*")
        return true;
    if (const size_t cut = NonEmptyTailCut(mask); cut != std::string_view::npos)
        return !name.empty() && GlobMatch(name.substr(0, name.size() - 1), mask.substr(0, cut),
                                          ignoreCase, collation);
    return GlobMatch(name, mask, ignoreCase, collation);
}

bool MatchesMask(std::string_view name, std::string_view mask, const TZACollation& collation) {
    if (mask.empty())
        return false;
    // A copy only where "*.*" becomes "*": a search matches one mask against every item.
    std::string replaced;
    std::string_view m = mask;
    if (const size_t star = mask.find("*.*"); star != std::string_view::npos)
        m = replaced = std::string(mask).replace(star, 3, 1, '*');
    const bool noExtensionWanted = mask.back() == '.';
    if (noExtensionWanted)
        m.remove_suffix(1);
    std::string_view n = name;
    if (!n.empty() && n.back() == '.')
        n.remove_suffix(1);
    if (!WildcardMatch(n, m, true, collation))
        return false;
    if (!noExtensionWanted)
        return true;
    const std::string extension = ExtractFileExt(name);
    return extension.empty() || extension == ".";
}

bool MatchesEveryName(std::string_view mask) {
    mask = UpToZero(mask);
    return mask == "*" || mask == "*.*";
}

} // namespace za
