#include "platform/MemoryStatus.h"

#include <windows.h>

namespace platform {

uint64_t AvailablePhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    return status.dwAvailPhys;
}

} // namespace platform
