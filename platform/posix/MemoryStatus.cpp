#include "platform/MemoryStatus.h"

#include <chrono>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

uint64_t ReadMemAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:")
            return kib * 1024;
    return static_cast<uint64_t>(sysconf(_SC_AVPHYS_PAGES)) *
           static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

} // namespace

// Asked once per extracted item; a reading a few milliseconds old is as good as a new one
// and spares the many small items of an archive a file read each.
uint64_t AvailablePhysicalMemory() {
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point readAt{};
    thread_local uint64_t available = 0;
    const auto now = Clock::now();
    if (available == 0 || now - readAt > std::chrono::milliseconds(50)) {
        available = ReadMemAvailable();
        readAt = now;
    }
    return available;
}

void AdviseWrittenWhole(void* block, size_t size) {
    // Smaller blocks live in the heap, whose mapping advice would split; they take few
    // faults anyway.
    constexpr size_t kLargeBlock = 8 << 20;
    if (size < kLargeBlock)
        return;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = (start + size) / page * page;
    // The pages are made in one call instead of a fault each. Large pages would spare the
    // faults too, but where memory is fragmented the kernel compacts it first, which made
    // runs take up to a second and a half longer. Advice only: a system that cannot do it
    // leaves the block as it is.
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

} // namespace platform
