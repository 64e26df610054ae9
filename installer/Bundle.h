#pragma once

#include <string>

// The certificate bundle the program carries as its raw-data resource "ROOTS". Raises the
// missing-bundle error when the program carries none or an empty one.
std::string GetRootsBundle();
