#pragma once

#include <string>

namespace platform {

// Whether the system reports the drive that holds the file as removable.
bool IsRemovableDrive(const std::string& fileName);

} // namespace platform
