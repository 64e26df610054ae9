#pragma once

#include <filesystem>
#include <string>

namespace test {

// Runs a shell command and returns what it printed on standard output; fails the test when
// the command exits with an error.
std::string RunCommand(const std::string& command);
bool CommandAvailable(const std::string& name);
// Whether unzip and Python's zipfile both read every item of the archive without an error.
bool ToolsReadSound(const std::string& zip);
// A CRL in DER, issued by a new key under that subject (UTF-8, in openssl req's form) with the
// further options of openssl ca -gencrl; its files are named by `base` and a suffix.
std::string IssuedCrl(const std::filesystem::path& base, const std::string& subject,
                      const std::string& options = "");
// How often the part occurs in the text.
int Occurrences(const std::string& text, const std::string& part);

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
