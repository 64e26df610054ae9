#pragma once

#include <array>
#include <cstddef>
#include <string>

// Turns a UTF-8 literal of ASCII and Russian letters into its Windows-1251 bytes at compile
// time, so that the texts can stay readable in the UTF-8 sources and still be held as the
// byte strings the system shows.
namespace cp1251_literal {

template <std::size_t N> struct Encoded {
    std::array<char, N> bytes{};
    std::size_t length = 0;
};

consteval unsigned char FromCodePoint(char32_t c) {
    if (c < 0x80)
        return static_cast<unsigned char>(c);
    if (c >= 0x410 && c <= 0x44F)
        return static_cast<unsigned char>(c - 0x410 + 0xC0);
    if (c == 0x401)
        return 0xA8; // Ё
    if (c == 0x451)
        return 0xB8; // ё
    if (c == 0x2116)
        return 0xB9; // №
    if (c == 0xAB)
        return 0xAB; // «
    if (c == 0xBB)
        return 0xBB; // »
    throw "character has no Windows-1251 form in this helper";
}

template <std::size_t N> consteval Encoded<N> Encode(const char (&utf8)[N]) {
    Encoded<N> out;
    for (std::size_t i = 0; i + 1 < N;) {
        auto b = static_cast<unsigned char>(utf8[i]);
        char32_t c;
        if (b < 0x80) {
            c = b;
            i += 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = ((b & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            i += 2;
        } else {
            c = ((b & 0x0F) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6) |
                (static_cast<unsigned char>(utf8[i + 2]) & 0x3F);
            i += 3;
        }
        out.bytes[out.length++] = static_cast<char>(FromCodePoint(c));
    }
    return out;
}

} // namespace cp1251_literal

// Usage: CP1251("Ошибка") gives a std::string of Windows-1251 bytes.
#define CP1251(text)                                                                               \
    ([] {                                                                                          \
        constexpr auto encoded = cp1251_literal::Encode(text);                                     \
        return std::string(encoded.bytes.data(), encoded.length);                                  \
    }())
