#include "WideText.h"

#include <windows.h>

namespace platform {

std::wstring WideOf(unsigned codePage, std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

std::string BytesOf(unsigned codePage, std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    // No best-fit look-alikes: a character the code page lacks becomes "?".
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    std::string bytes(static_cast<size_t>(WideCharToMultiByte(codePage, flags, wide.data(), size,
                                                              nullptr, 0, fallback, nullptr)),
                      '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(),
                        static_cast<int>(bytes.size()), fallback, nullptr);
    return bytes;
}

} // namespace platform
