#include "platform/MemoryStatus.h"

#include <windows.h>

namespace platform {

uint64_t AvailablePhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    return status.dwAvailPhys;
}

// Large pages need a privilege that a user's program does not hold.
void AdviseWrittenWhole(void*, size_t) {}

} // namespace platform
