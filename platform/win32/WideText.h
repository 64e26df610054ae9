#pragma once

#include <string>
#include <string_view>

// Byte strings of a given Windows code page to and from the wide strings of the W functions.
namespace platform {

std::wstring WideOf(unsigned codePage, std::string_view bytes);
// A character the code page lacks becomes "?".
std::string BytesOf(unsigned codePage, std::wstring_view wide);

} // namespace platform
