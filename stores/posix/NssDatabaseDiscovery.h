#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Where the current user's NSS certificate databases are, which browsers and mail programs
// read: the shared one, the sandboxed browsers' own shared ones, and every Firefox and
// Thunderbird profile, of every packaging.
namespace platform::nss {

struct UserDatabase {
    std::filesystem::path folder;
    std::string program; // whose it is, as the user knows it: "Chromium", "Firefox profile"
};

// Chromium's databases first (~/.pki/nssdb made where Chromium has none); then every other
// database that exists, each once. A location that cannot be read is passed over. Throws
// without a HOME.
// Where `make` is false, no Chromium database is made, and only databases that are there are
// found.
std::vector<UserDatabase> FindUserDatabases(bool make = true);

} // namespace platform::nss
