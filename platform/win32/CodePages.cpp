#include "platform/CodePages.h"

#include "WideText.h"

#include <windows.h>

// The system headers name an old function OemToAnsi, which would rename ours.
#undef OemToAnsi

namespace platform {
namespace {

std::u16string ToWide(UINT codePage, std::string_view bytes) {
    const std::wstring wide = WideOf(codePage, bytes);
    return std::u16string(wide.begin(), wide.end());
}

std::string FromWide(UINT codePage, std::u16string_view wide) {
    return BytesOf(codePage, std::wstring(wide.begin(), wide.end()));
}

} // namespace

std::string OemToAnsi(std::string_view oem) {
    std::string ansi(oem);
    if (!ansi.empty())
        OemToCharBuffA(ansi.data(), ansi.data(), static_cast<DWORD>(ansi.size()));
    return ansi;
}

std::u16string AnsiToWide(std::string_view ansi) {
    return ToWide(CP_ACP, ansi);
}

std::u16string Cp1251ToWide(std::string_view text) {
    return ToWide(1251, text);
}

std::string WideToAnsi(std::u16string_view wide) {
    return FromWide(CP_ACP, wide);
}

std::string AnsiToUtf8(std::string_view ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return FromWide(CP_ACP, ToWide(CP_UTF8, utf8));
}

std::u16string Utf8ToWide(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

bool IsUtf8(std::string_view bytes) {
    return bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, 0) != 0;
}

std::string WideToUtf8(std::u16string_view wide) {
    return FromWide(CP_UTF8, wide);
}

std::string AnsiLowerCase(std::string s) {
    if (!s.empty())
        CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

std::string AnsiUpperCase(std::string s) {
    if (!s.empty())
        CharUpperBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

char AnsiLowerChar(char c) {
    return AnsiLowerCase(std::string(1, c))[0];
}

char AnsiUpperChar(char c) {
    return AnsiUpperCase(std::string(1, c))[0];
}

int CompareAnsiChar(char a, char b, bool ignoreCase) {
    return CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, &a, 1, &b, 1) -
           CSTR_EQUAL;
}

uint32_t UserDefaultLCID() {
    return GetUserDefaultLCID();
}

} // namespace platform
