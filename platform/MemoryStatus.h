#pragma once

#include <cstdint>

namespace platform {

// Physical memory that the system could give the process now, in bytes.
uint64_t AvailablePhysicalMemory();

} // namespace platform
