#include "platform/CodePages.h"
#include "TestTools.h"
#include "runtime/Cp1251Literal.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace platform;

namespace {

// Per byte, what Python's codecs say: its Unicode value in Windows-1251 (-1 where the code
// page leaves it unassigned), the Windows-1251 byte of its CP866 character (-1 where
// Windows-1251 lacks it), and the Windows-1251 bytes of its lower and upper case.
struct Reference {
    int unicode, oemToAnsi, lower, upper;
};

std::vector<Reference> ReferenceFromPython() {
    const char* script = R"(
def one(s):
    try:
        e = s.encode('cp1251')
        return e[0] if len(e) == 1 else -1
    except UnicodeEncodeError:
        return -1
for b in range(256):
    try:
        u = bytes([b]).decode('cp1251')
    except UnicodeDecodeError:
        print(-1, one(bytes([b]).decode('cp866')), b, b); continue
    lo, up = one(u.lower()), one(u.upper())
    print(ord(u), one(bytes([b]).decode('cp866')), lo if lo >= 0 else b, up if up >= 0 else b)
)";
    std::istringstream lines(test::RunCommand("python3 -c \"" + std::string(script) + "\""));
    std::vector<Reference> table;
    Reference r;
    while (lines >> r.unicode >> r.oemToAnsi >> r.lower >> r.upper)
        table.push_back(r);
    return table;
}

std::string Byte(int b) {
    return std::string(1, static_cast<char>(b));
}
int Value(const std::string& s) {
    return static_cast<unsigned char>(s.at(0));
}

} // namespace

TEST(CodePages, EveryByteAgreesWithPythonCodecs) {
    const auto reference = ReferenceFromPython();
    ASSERT_EQ(reference.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE("byte " + std::to_string(b));
        const Reference& r = reference[static_cast<size_t>(b)];
        const std::u16string wide = AnsiToWide(Byte(b));
        // 0x98 is unassigned in Windows-1251; it is carried through as U+0098.
        EXPECT_EQ(wide.at(0), r.unicode >= 0 ? r.unicode : b);
        EXPECT_EQ(Value(OemToAnsi(Byte(b))), r.oemToAnsi >= 0 ? r.oemToAnsi : '?');
        EXPECT_EQ(Value(AnsiLowerCase(Byte(b))), r.lower);
        EXPECT_EQ(Value(AnsiUpperCase(Byte(b))), r.upper);
        EXPECT_EQ(WideToAnsi(wide), Byte(b));
    }
}

TEST(CodePages, OemCyrillicLettersBecomeTheSameAnsiLetters) {
    const std::string letters =
        CP1251("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    std::string oem;
    for (int b = 0x80; b <= 0xAF; ++b)
        oem += static_cast<char>(b);
    for (int b = 0xE0; b <= 0xF1; ++b)
        oem += static_cast<char>(b);
    // CP866 order: А..Я а..п, then р..я, then Ё ё; rearranged into alphabetical order.
    std::string alphabetical = oem.substr(0, 6) + oem.substr(64, 1) + oem.substr(6, 32 - 6) +
                               oem.substr(32, 6) + oem.substr(65, 1) + oem.substr(38, 10) +
                               oem.substr(48, 16);
    EXPECT_EQ(OemToAnsi(alphabetical), letters);
}

// What a careful UTF-8 decoder refuses stands for one unknown character: overlong forms of
// "/" and of a zero byte, a surrogate, a value past U+10FFFF, a cut sequence.
TEST(CodePages, Utf8ToWideRefusesWhatIsNotUtf8) {
    EXPECT_EQ(Utf8ToWide("a\xC0\xAF"
                         "b"),
              u"a?b");
    EXPECT_EQ(Utf8ToWide("\xC0\x80"), u"?");
    EXPECT_EQ(Utf8ToWide("\xE0\x80\xAF"), u"?");
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"?");
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"?");
    EXPECT_EQ(Utf8ToWide("\xE4\xB8"), u"??");
    EXPECT_EQ(Utf8ToWide("тест/中/\xF0\x9F\x98\x80"), u"тест/中/\U0001F600");
    EXPECT_EQ(WideToUtf8(u"тест/中/\U0001F600"), "тест/中/\xF0\x9F\x98\x80");
}

// UTF-8 as Python's strict decoder judges it: a sequence cut short, by an ASCII byte or by the
// end, is none, as CP437's "Straße" from a Unix host shows, and neither is what a careful
// decoder refuses.
TEST(CodePages, IsUtf8AsPythonDecodesIt) {
    const std::string rows[] = {
        "Stra\xE1"
        "e",
        "\xE1"
        "e",
        "\xC3",
        "\xC3"
        "A",
        "\xE4\xB8",
        "\xE4\xB8"
        "A",
        "\xE4"
        "A\xB8",
        "\xF0\x9F\x98",
        "\xF0\x9F\x98"
        "A",
        "\x80",
        "\xC0\xAF",
        "\xED\xA0\x80",
        "\xF4\x90\x80\x80",
        "\xFF",
        "",
        "plain",
        "Straße",
        "中",
        "\xF0\x9F\x98\x80",
    };
    std::string arguments;
    for (const std::string& row : rows) {
        arguments += " x";
        for (const char c : row)
            arguments += {"0123456789abcdef"[static_cast<unsigned char>(c) >> 4],
                          "0123456789abcdef"[c & 0xF]};
    }
    std::istringstream verdicts(
        test::RunCommand("python3 -c \"import sys\n"
                         "for row in sys.argv[1:]:\n"
                         "    try: bytes.fromhex(row[1:]).decode('utf-8'); print(1)\n"
                         "    except UnicodeDecodeError: print(0)\"" +
                         arguments));
    for (const std::string& row : rows) {
        int utf8 = -1;
        verdicts >> utf8;
        EXPECT_EQ(IsUtf8(row), utf8 == 1) << row;
    }
}

TEST(CodePages, Utf8RoundTripAndUnknownCharacters) {
    const std::string ansi = CP1251("Установка произведена !");
    const std::string utf8 = AnsiToUtf8(ansi);
    EXPECT_EQ(utf8, "Установка произведена !");
    EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
    EXPECT_EQ(Utf8ToAnsi("a\xE2\x82\xAC"
                         "b"),
              "a\x88"
              "b"); // euro sign
    EXPECT_EQ(Utf8ToAnsi("中"), "?");
    EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");
    EXPECT_EQ(WideToAnsi(u"\u4E2D"), "?");
}

TEST(CodePages, LocaleComparisonIsATotalOrderThatFoldsCase) {
    std::set<int> ranks;
    for (int a = 0; a < 256; ++a) {
        int rank = 0;
        for (int b = 0; b < 256; ++b)
            rank += CompareAnsiChar(static_cast<char>(b), static_cast<char>(a), false) < 0;
        ranks.insert(rank);
    }
    EXPECT_EQ(ranks.size(), 256u);
    EXPECT_EQ(CompareAnsiChar('a', 'A', true), 0);
    EXPECT_NE(CompareAnsiChar('a', 'A', false), 0);
    EXPECT_EQ(CompareAnsiChar(CP1251("я")[0], CP1251("Я")[0], true), 0);
    EXPECT_LT(CompareAnsiChar('a', 'b', true), 0);
    EXPECT_EQ(UserDefaultLCID(), kLocaleRussian);
}
