#include "archive/ZAMasks.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace za;

namespace {

// The match as a plain walk with backtracking at each "*", to compare the engine against.
bool ReferenceMatch(const char* name, const char* mask, const TZACollation& collation) {
    if (std::string_view(mask) == "*.*")
        return true;
    for (;;) {
        if (std::string_view(mask) == "*")
            return true;
        if (!*name && *mask)
            return false;
        if (!*name && !*mask)
            return true;
        if (!*mask)
            return false;
        if (*mask == '*') {
            for (size_t j = 0; j < std::strlen(name); ++j)
                if (ReferenceMatch(name + j, mask + 1, collation))
                    return true;
            return false;
        }
        if (*mask != '?' && !collation.Equal(*name, *mask, true))
            return false;
        ++name;
        ++mask;
    }
}

bool Match(std::string_view name, std::string_view mask) {
    return WildcardMatch(name, mask, true);
}

} // namespace

TEST(WildcardMatch, TheWalksRules) {
    EXPECT_TRUE(Match("anything", "*.*"));
    EXPECT_TRUE(Match("", "*"));
    EXPECT_TRUE(Match("abc", "a*"));
    EXPECT_TRUE(Match("abc", "a?c"));
    EXPECT_FALSE(Match("ab", "a?c"));
    EXPECT_TRUE(Match("ABC", "abc"));
    EXPECT_FALSE(Match("abc", "ab"));
    EXPECT_FALSE(Match("ab", "abc"));
    EXPECT_TRUE(Match("dir/x.cer", "*.cer")); // "*" crosses separators
    // An inner star never takes the whole rest of the name, so a mask rest that could match
    // nothing after it does not.
    EXPECT_TRUE(Match("ab", "a*?*"));
    EXPECT_FALSE(Match("a", "a*?"));
    EXPECT_TRUE(Match("ab", "a*?"));
    EXPECT_FALSE(Match("abc", "abc*?"));
    EXPECT_FALSE(Match("x", "x**"));
    EXPECT_TRUE(Match("xy", "x**"));   // the rest after the first star is "*"
    EXPECT_TRUE(Match("xy", "x**.*")); // and a rest of exactly "*.*" takes anything
    EXPECT_FALSE(Match("x", "x**.*"));
    EXPECT_TRUE(WildcardMatch("ab", "a\0zz", true) == false);
    EXPECT_TRUE(WildcardMatch(std::string("a\0b", 3), "a", true));
}

TEST(WildcardMatch, EqualsTheBacktrackingWalkOnRandomNamesAndMasks) {
    std::mt19937 random(12345);
    const std::string alphabet = "ab.A/\xE0\xC0";
    const std::string maskAlphabet = alphabet + "**??";
    const TZACollation& collation = TZACollation::ForUser();
    for (int round = 0; round < 20000; ++round) {
        std::string name, mask;
        for (size_t i = random() % 9; i > 0; --i)
            name += alphabet[random() % alphabet.size()];
        for (size_t i = random() % 7; i > 0; --i)
            mask += maskAlphabet[random() % maskAlphabet.size()];
        ASSERT_EQ(WildcardMatch(name, mask, true),
                  ReferenceMatch(name.c_str(), mask.c_str(), collation))
            << "name '" << name << "' mask '" << mask << "'";
    }
}

TEST(WildcardMatch, ManyStarsAgainstALongNameStayPolynomial) {
    const std::string name(65535, 'a');
    const std::string mask = std::string(100, '*') + "b" + std::string(100, '*') + "c";
    EXPECT_FALSE(Match(name, mask));
    std::string mixed;
    for (int i = 0; i < 120; ++i)
        mixed += "*a";
    EXPECT_TRUE(Match(name + "a", mixed + "a"));
}

TEST(MatchesMask, UsersMasks) {
    EXPECT_FALSE(MatchesMask("a", ""));
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("x.cer", "*.CER"));
    EXPECT_TRUE(MatchesMask("README", "*."));
    EXPECT_FALSE(MatchesMask("x.cer", "*."));
    EXPECT_TRUE(MatchesMask("name", "name."));
    EXPECT_TRUE(MatchesMask("name.", "name."));
    EXPECT_FALSE(MatchesMask("name.txt", "name."));
    EXPECT_TRUE(MatchesMask("README", "*.*.")); // the first "*.*" becomes "*": "*."
    EXPECT_TRUE(MatchesMask("abc", "abc*.*"));  // "abc*", whose lone final star takes nothing
    EXPECT_FALSE(MatchesMask("a\\b.cer", "*.*."));
    EXPECT_TRUE(MatchesMask("\xD1\xE5\xF0\xF2.cer", "\xF1\xC5*")); // Серт / сЕ*
    EXPECT_FALSE(MatchesMask("", "**")); // a final run of stars wants a character
    for (const char* mask : {"*", "*.*"})
        EXPECT_TRUE(MatchesEveryName(mask)) << mask;
    for (const char* mask : {"*.", "**", "*.txt", "?*", ""})
        EXPECT_FALSE(MatchesEveryName(mask)) << mask;
}

TEST(Collation, TurkishTablesAreSelectable) {
    const TZACollation turkish(platform::kLocaleTurkish);
    EXPECT_TRUE(turkish.RanksArePermutation());
    EXPECT_EQ(turkish.UpperOf('i'), '\xDD');
    EXPECT_EQ(turkish.UpperOf('\xFD'), 'I');
    EXPECT_EQ(turkish.UpperOf('\xE7'), '\xC7');
    EXPECT_EQ(turkish.UpperOf('\xF7'), '\xF7');
    EXPECT_TRUE(turkish.Equal('i', '\xDD', true));
    EXPECT_FALSE(turkish.Equal('i', 'I', true));
    EXPECT_TRUE(turkish.Equal('\xFD', 'I', true));
    EXPECT_FALSE(turkish.Equal('a', 'A', false));
    EXPECT_TRUE(WildcardMatch("file", "F\xDDLE", true, turkish));
    EXPECT_FALSE(WildcardMatch("file", "FILE", true, turkish));

    const TZACollation russian(platform::kLocaleRussian);
    EXPECT_TRUE(russian.Equal('i', 'I', true));
    EXPECT_TRUE(russian.Equal('\xB8', '\xA8', true)); // ё Ё
}
