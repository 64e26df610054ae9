#pragma once

#include <string>

// The certificate bundle the program carries as its raw-data resource "ROOTS"; empty when it
// carries none or an empty one.
std::string GetRootsBundle();
