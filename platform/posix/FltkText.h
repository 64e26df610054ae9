#pragma once

#include "platform/CodePages.h"

#include <string>

namespace platform {

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
