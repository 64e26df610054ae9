#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Physical memory that the system could give the process now, in bytes.
uint64_t AvailablePhysicalMemory();

// Tells the system that a fresh block is about to be written whole. Where it can, the system
// makes its pages at once, sparing a fault for each.
void AdviseWrittenWhole(void* block, size_t size);

} // namespace platform
