#pragma once

#include <cstdint>
#include <string>

namespace za {

// The name a compression method has in the ZIP format, or none for a number it leaves free.
// The one list of method names: whatever names a method, an error or a listing, asks here.
const char* MethodName(uint16_t method);

// A method as an error shows it: its number, and its name where it has one.
std::string MethodShown(uint16_t method);

} // namespace za
