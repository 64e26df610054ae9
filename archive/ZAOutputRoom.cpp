#include "ZAOutputRoom.h"

#include "ZAConst.h"

#include <algorithm>
#include <limits>

namespace za {
namespace {

// Deflate codes 258 bytes at most in 2 bits.
constexpr uint64_t kMaxDeflateRatio = 1032;
// The share of the bytes present that is made room for up front, and never more than an
// eighth of the address space (a 32-bit system's), so that the allocation cannot fail.
constexpr uint64_t kUpFrontRatio = 16;
constexpr uint64_t kUpFrontFloor = 1 << 20;
constexpr uint64_t kUpFrontLimit = std::numeric_limits<size_t>::max() / 8;
// Less than this is the allocator's rounding, not worth a copy.
constexpr size_t kSpareRoomKept = 64;

uint64_t SaturatedProduct(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() / b ? std::numeric_limits<uint64_t>::max()
                                                        : a * b;
}

} // namespace

uint64_t ExpandedAtMost(uint16_t method, uint64_t compressed) {
    return method == kMethodStored ? compressed : SaturatedProduct(compressed, kMaxDeflateRatio);
}

uint64_t RoomUpFront(uint16_t method, uint64_t declared, uint64_t present) {
    const uint64_t share =
        std::min(SaturatedProduct(present, kUpFrontRatio), kUpFrontLimit - kUpFrontFloor) +
        kUpFrontFloor;
    return declared <= std::min(ExpandedAtMost(method, present), share) ? declared + 1 : 0;
}

uint64_t RoomGrown(uint64_t has, uint64_t needs, uint64_t most) {
    return std::min(most, std::max(needs, SaturatedProduct(has, 2)));
}

bool HoldsSpareRoom(size_t size, size_t capacity) {
    return capacity - size > kSpareRoomKept;
}

} // namespace za
