#pragma once

#include <string>
#include <string_view>

// Name and path functions over ANSI byte strings: "\" separates folders, ":" ends a drive.
namespace za {

// "C:" of "C:\a\b", or "\\server\share" of a UNC name; empty otherwise.
std::string ExtractFileDrive(std::string_view name);
// Everything up to and including the last "\" or ":".
std::string ExtractFilePath(std::string_view name);
// Everything after the last "\" or ":".
std::string ExtractFileName(std::string_view name);
// From the last "." that stands after the last "\" or ":"; empty when there is none.
std::string ExtractFileExt(std::string_view name);

// The text before its first zero byte, as a zero-terminated buffer would hold it.
std::string_view UpToZero(std::string_view s);
void ReplaceAll(std::string& s, char from, char to);
void ReplaceAll(std::u16string& s, char16_t from, char16_t to);

} // namespace za
