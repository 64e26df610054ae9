#include "platform/CodePages.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace platform {
namespace {

// Unicode of the bytes 0x80..0xFF. Windows-1251 leaves 0x98 unassigned; like the system's
// own conversion we carry it through as U+0098 so that every byte survives a round trip.
constexpr std::array<char16_t, 128> kAnsiHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr std::array<char16_t, 128> kOemHigh = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

char16_t Decode(const std::array<char16_t, 128>& high, unsigned char b) {
    return b < 0x80 ? b : high[b - 0x80];
}

// Unicode case of the characters Windows-1251 holds: Latin, Russian and the other Cyrillic
// letters of the code page.
char16_t LowerOf(char16_t u) {
    if (u >= u'A' && u <= u'Z')
        return u + 0x20;
    if (u >= 0x0410 && u <= 0x042F)
        return u + 0x20;
    if (u >= 0x0400 && u <= 0x040F)
        return u + 0x50;
    if (u == 0x0490)
        return 0x0491;
    return u;
}

char16_t UpperOf(char16_t u) {
    if (u >= u'a' && u <= u'z')
        return u - 0x20;
    if (u >= 0x0430 && u <= 0x044F)
        return u - 0x20;
    if (u >= 0x0450 && u <= 0x045F)
        return u - 0x50;
    if (u == 0x0491)
        return 0x0490;
    return u;
}

struct Tables {
    std::array<char16_t, 256> ansiToWide{};
    std::array<unsigned char, 65536> wideToAnsi{};
    std::array<unsigned char, 256> oemToAnsi{};
    std::array<unsigned char, 256> lower{};
    std::array<unsigned char, 256> upper{};

    Tables() {
        wideToAnsi.fill('?');
        for (int b = 0; b < 256; ++b) {
            ansiToWide[b] = Decode(kAnsiHigh, static_cast<unsigned char>(b));
            wideToAnsi[ansiToWide[b]] = static_cast<unsigned char>(b);
        }
        for (int b = 0; b < 256; ++b) {
            oemToAnsi[b] = wideToAnsi[Decode(kOemHigh, static_cast<unsigned char>(b))];
            lower[b] = CaseMapped(b, LowerOf);
            upper[b] = CaseMapped(b, UpperOf);
        }
    }

    // The byte of the mapped character, or the byte itself when the code page lacks it.
    unsigned char CaseMapped(int b, char16_t (*map)(char16_t)) const {
        const char16_t mapped = map(ansiToWide[b]);
        const unsigned char back = wideToAnsi[mapped];
        return back == '?' && mapped != u'?' ? static_cast<unsigned char>(b) : back;
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

unsigned char U8(char c) {
    return static_cast<unsigned char>(c);
}

// Writes the character's UTF-8 bytes at out; returns where they end. Output is written into
// room made once, since a byte at a time through the string checks its room each time.
char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

constexpr char32_t kMalformed = 0xFFFFFFFF;

// The next code point of a UTF-8 text, or kMalformed for a malformed byte; so for a sequence
// that is overlong, a surrogate or beyond U+10FFFF, which a careful decoder refuses, so that
// no byte string can pass for "/" or a zero byte inside a name.
char32_t NextCodePoint(std::string_view s, size_t& i) {
    const unsigned char b = U8(s[i]);
    auto continuation = [&](size_t k) { return i + k < s.size() && (U8(s[i + k]) & 0xC0) == 0x80; };
    struct Form {
        unsigned char mask, lead;
        size_t length;
        char32_t smallest;
    };
    static constexpr Form kForms[] = {
        {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
    if (b < 0x80) {
        i += 1;
        return b;
    }
    for (const Form& form : kForms) {
        if ((b & form.mask) != form.lead)
            continue;
        char32_t c = b & static_cast<unsigned char>(~form.mask);
        for (size_t k = 1; k < form.length; ++k) {
            if (!continuation(k)) {
                i += 1;
                return kMalformed;
            }
            c = (c << 6) | (U8(s[i + k]) & 0x3F);
        }
        i += form.length;
        const bool valid = c >= form.smallest && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000);
        return valid ? c : kMalformed;
    }
    i += 1;
    return kMalformed;
}

// Malformed bytes count as one unknown character each.
char32_t NextCharacter(std::string_view s, size_t& i) {
    const char32_t c = NextCodePoint(s, i);
    return c == kMalformed ? U'?' : c;
}

std::string MapBytes(std::string s, const std::array<unsigned char, 256>& table) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [&table](char c) { return static_cast<char>(table[U8(c)]); });
    return s;
}

// The locale's order of single characters: letters alphabetically, the lower-case one
// first, everything else by its Unicode value.
std::tuple<char16_t, bool> SortKey(char c, bool ignoreCase) {
    const char16_t u = T().ansiToWide[U8(c)];
    const char16_t folded = LowerOf(u);
    return {folded, !ignoreCase && folded != u};
}

} // namespace

std::string OemToAnsi(std::string_view oem) {
    return MapBytes(std::string(oem), T().oemToAnsi);
}

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string out(ansi.size(), u'\0');
    const auto& table = T().ansiToWide;
    std::transform(ansi.begin(), ansi.end(), out.begin(),
                   [&table](char c) { return table[U8(c)]; });
    return out;
}

std::u16string Cp1251ToWide(std::string_view text) {
    return AnsiToWide(text); // the ANSI code page here is 1251
}

std::string WideToAnsi(std::u16string_view wide) {
    std::string out(wide.size(), '\0');
    const auto& table = T().wideToAnsi;
    std::transform(wide.begin(), wide.end(), out.begin(),
                   [&table](char16_t c) { return static_cast<char>(table[c]); });
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    // Every character of the code page is in the Basic Multilingual Plane: 3 bytes at most.
    std::string out(ansi.size() * 3, '\0');
    char* end = out.data();
    const auto& table = T().ansiToWide;
    for (char c : ansi)
        end = PutUtf8(end, table[U8(c)]);
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto& table = T().wideToAnsi;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCharacter(utf8, i);
        out += static_cast<char>(c <= 0xFFFF ? table[c] : '?');
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCharacter(utf8, i);
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();)
        if (NextCodePoint(bytes, i) == kMalformed)
            return false;
    return true;
}

std::string WideToUtf8(std::u16string_view wide) {
    // A unit takes 3 bytes at most; a surrogate pair, two units, takes 4.
    std::string out(wide.size() * 3, '\0');
    char* end = out.data();
    for (size_t i = 0; i < wide.size(); ++i) {
        const char32_t c = wide[i];
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() &&
                          wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
        if (pair)
            end = PutUtf8(end, 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00));
        else
            end = PutUtf8(end, c >= 0xD800 && c < 0xE000 ? U'?' : c);
    }
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

char AnsiLowerChar(char c) {
    return static_cast<char>(T().lower[U8(c)]);
}
char AnsiUpperChar(char c) {
    return static_cast<char>(T().upper[U8(c)]);
}
std::string AnsiLowerCase(std::string s) {
    return MapBytes(std::move(s), T().lower);
}
std::string AnsiUpperCase(std::string s) {
    return MapBytes(std::move(s), T().upper);
}

int CompareAnsiChar(char a, char b, bool ignoreCase) {
    const auto ka = SortKey(a, ignoreCase);
    const auto kb = SortKey(b, ignoreCase);
    return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

uint32_t UserDefaultLCID() {
    return kLocaleRussian;
}

} // namespace platform
