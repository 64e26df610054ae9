#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Code page and locale services of the system: the OEM code page is 866 and the ANSI code
// page 1251 wherever the system does not say otherwise.
namespace platform {

// OEM bytes to ANSI bytes, byte for byte; a character the ANSI code page lacks becomes "?".
std::string OemToAnsi(std::string_view oem);

std::u16string AnsiToWide(std::string_view ansi);
// The program's own texts, held in Windows-1251 whatever the system's ANSI code page.
std::u16string Cp1251ToWide(std::string_view text);
// A character the ANSI code page lacks becomes "?".
std::string WideToAnsi(std::u16string_view wide);
std::string AnsiToUtf8(std::string_view ansi);
// A character the ANSI code page lacks becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);

// Malformed bytes do not stop the conversion: each stands for one unknown character.
std::u16string Utf8ToWide(std::string_view utf8);
// Whether the bytes are UTF-8 throughout, none of them malformed.
bool IsUtf8(std::string_view bytes);
std::string WideToUtf8(std::u16string_view wide);

char AnsiLowerChar(char c);
char AnsiUpperChar(char c);
// The string changed where it stands: a caller done with it moves it in and pays for no copy.
std::string AnsiLowerCase(std::string s);
std::string AnsiUpperCase(std::string s);

// Compares two one-character strings by the user's locale: negative, 0 or positive.
int CompareAnsiChar(char a, char b, bool ignoreCase);

constexpr uint32_t kLocaleRussian = 1049;
constexpr uint32_t kLocaleTurkish = 1055;
uint32_t UserDefaultLCID();

} // namespace platform
