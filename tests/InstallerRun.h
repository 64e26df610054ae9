#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The installer program run on the console with its stores under a given data folder.
namespace test {

struct InstallerRun {
    int status = -1; // exit status, or -1 when a signal ended it
    std::string output;
};

// `prefix` goes in front of the program on the command line (a tracer, a namespace), and
// `options` after it. The folder is the run's HOME as well, which holds the shared NSS database.
InstallerRun RunInstaller(const std::filesystem::path& data, const std::string& program,
                          const std::string& prefix = "", const std::string& options = "");

// HOME and XDG_DATA_HOME set to one folder for as long as the object lives, so that the store
// service in this process writes nowhere else.
class ThrowAwayUser {
public:
    explicit ThrowAwayUser(const std::filesystem::path& folder);
    ~ThrowAwayUser();
    ThrowAwayUser(const ThrowAwayUser&) = delete;
    ThrowAwayUser& operator=(const ThrowAwayUser&) = delete;

private:
    std::optional<std::string> home_, dataHome_;
};

struct StoreCount {
    int certificates = 0, crls = 0;
    bool operator==(const StoreCount&) const = default;
};

enum class StoreFile { Certificate, Crl, Other };
// What a file of a store folder holds, told by its hashed name: "<hash>.<n>" or
// "<hash>.r<n>".
StoreFile KindOfStoreFile(const std::string& fileName);

// Certificates and CRLs in a store folder, counted by their hashed file names.
StoreCount CountStore(const std::filesystem::path& store);

inline std::filesystem::path StoresIn(const std::filesystem::path& data) {
    return data / "certinstall" / "stores";
}

} // namespace test
