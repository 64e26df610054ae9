#pragma once

#include <filesystem>
#include <vector>

// Where the current user's NSS certificate databases are, which browsers and mail programs
// read: the shared one, the sandboxed browsers' own shared ones, and every Firefox and
// Thunderbird profile, of every packaging.
namespace platform::nss {

// The shared database ~/.pki/nssdb first, made where missing; then every other database that
// exists, each once. A location that cannot be read is passed over. Throws without a HOME.
std::vector<std::filesystem::path> FindUserDatabases();

} // namespace platform::nss
