#pragma once

#include "platform/CodePages.h"

#include <string>

namespace platform {

// Text height of the window and its boxes, in pixels: an 8-point font at 96 pixels per inch.
constexpr int kTextHeight = 11;

// An ANSI text as an FLTK label that shows it as it is: the toolkit reads "@" as the start
// of a symbol name unless it is doubled.
inline std::string FltkLabel(const std::string& ansi) {
    std::string label;
    for (char c : AnsiToUtf8(ansi)) {
        label += c;
        if (c == '@')
            label += '@';
    }
    return label;
}

} // namespace platform
