#pragma once

#include <exception>
#include <string>

// An error's message as the user reads it. The texts come in more than one code page: the
// program's own in Windows-1251, the archive engine's with item names in the system's ANSI
// code page, the system's descriptions as wide text; each is converted from its own.
std::u16string ShownMessage(const std::exception& error);
