#pragma once

#include <filesystem>
#include <string>

namespace test {

// Runs a shell command and returns what it printed on standard output; fails the test when
// the command exits with an error.
std::string RunCommand(const std::string& command);
bool CommandAvailable(const std::string& name);

// A fresh folder for one test, removed again with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace test
