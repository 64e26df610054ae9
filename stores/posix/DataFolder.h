#pragma once

#include "platform/posix/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The installer's own folders under the user's data folder, which hold its stores' hashed
// folders. The lock that installers share for the NSS databases lives beside Chromium's
// database instead, where two runs with different data folders still meet (NssDatabases.cpp).
namespace platform {

// The folder at that path under the user's data folder, made where missing; throws when the
// environment names no data folder, since the working folder is no place for the stores. The
// installer's own folders on the way are never symbolic links, so nothing is written where a link
// points. A folder that could not be made is reported in `error` by the reason it could not, not by
// its absence, and none is returned: its parent must not stand in for it.
// Where `make` is false, nothing is made, and a folder that is missing is an error (ENOENT).
FileDescriptor OpenOwnFolder(const std::vector<std::string>& path, uint32_t& error,
                             bool make = true);
// Where that folder is, an absolute path, whether it is there or not; throws as above.
std::filesystem::path OwnFolderPath(const std::vector<std::string>& path);

} // namespace platform
