#include "platform/FileSystem.h"

#include <windows.h>

namespace platform {

bool IsRemovableDrive(const std::string& fileName) {
    // "X:" names its drive; any other name is on the current one.
    const bool hasDrive = fileName.size() >= 2 && fileName[1] == ':';
    const std::string root = hasDrive ? fileName.substr(0, 2) + "\\" : std::string();
    return GetDriveTypeA(hasDrive ? root.c_str() : nullptr) == DRIVE_REMOVABLE;
}

} // namespace platform
