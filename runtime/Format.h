#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

using TFormatArg = std::variant<std::string, int64_t>;

// Fills "%s" with a string argument and "%d" with an integer, each with an optional width
// ("%5d") and left alignment ("%-5d"); "%%" is a percent sign. Arguments are taken in order;
// a placeholder without a fitting argument stays in the text as it is.
std::string Format(std::string_view format, const std::vector<TFormatArg>& args);
