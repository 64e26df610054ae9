#pragma once

#include <string>
#include <vector>

namespace platform {

// Runs a program with those arguments (the first is its path) and waits for it; its output is
// dropped. The exit status, or -1 when it could not be started or a signal ended it.
int RunProgram(const std::vector<std::string>& arguments);

// The path of the program of that name in the folders where the distributions keep what an
// administrator runs, whatever PATH says; empty when there is none.
std::string FindProgram(const std::string& name);

} // namespace platform
