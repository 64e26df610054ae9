#include "platform/FileSystem.h"

namespace platform {

// Removable media are mounted into the one file tree here; a missing file on them is missing.
bool IsRemovableDrive(const std::string&) {
    return false;
}

} // namespace platform
