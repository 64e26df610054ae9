// Commands of the host system, for the tests that run real tools.
#include "TestTools.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace test {

std::string RunCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run: " << command;
        return {};
    }
    std::string output;
    std::array<char, 65536> block;
    size_t n;
    while ((n = fread(block.data(), 1, block.size(), pipe)) > 0)
        output.append(block.data(), n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed: " << command;
    return output;
}

bool CommandAvailable(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace test
