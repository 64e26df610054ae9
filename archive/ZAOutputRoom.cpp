#include "ZAOutputRoom.h"

#include "ZAAesItem.h"
#include "ZAConst.h"
#include "ZADirArray.h"
#include "platform/MemoryStatus.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace za {
namespace {

// Deflate codes 258 bytes at most in 2 bits.
constexpr uint64_t kMaxDeflateRatio = 1032;
// A Zstandard block holds 128 KiB at most; its shortest, a repeated byte, takes 4 bytes.
constexpr uint64_t kMaxZstandardRatio = 32768;
// An LZMA repeat of the last match, 273 bytes at most, takes 14 coded decisions of at least
// 0.022 bits each (an adapted probability stops at 2017 of 2048): about 7,090 to 1, and
// 6,870 to 1 measured on zeros. XZ holds the same coder.
constexpr uint64_t kMaxLzmaRatio = 7200;
// A bzip2 block of 900,000 run-length codes of 5 bytes each holds 45.9 million bytes, and
// takes at least 21 bytes with its header and tables; 1.39 million to 1 measured on zeros.
constexpr uint64_t kMaxBzip2Ratio = 2200000;
// The share of the bytes present that is made room for up front, and never more than an
// eighth of the address space (a 32-bit system's), so that the allocation cannot fail.
constexpr uint64_t kUpFrontRatio = 16;
constexpr uint64_t kUpFrontFloor = 1 << 20;
constexpr uint64_t kUpFrontLimit = std::numeric_limits<size_t>::max() / 8;
// Room grown at once to the most an item may need takes at most this share of the free
// physical memory, should all of it be written.
constexpr uint64_t kLeapShare = 4;
// Less than this is the allocator's rounding, not worth a copy.
constexpr size_t kSpareRoomKept = 64;
// A chunk's estimated output may take less than this share of the free physical memory.
constexpr uint64_t kMemoryShareDivisor = 20;
constexpr int64_t kSmallestHalvedChunk = 512;
// Output pieces in place: the first ones short, none longer than the cache holds well.
constexpr uint64_t kFirstPiece = 16 << 10;
constexpr uint64_t kPiece = 256 << 10;
// The whole input may be read into a buffer of its own up to this share of the item.
constexpr uint64_t kWholeInputShare = 10;
constexpr uint64_t kBlockGrowUnit = 256;

uint64_t SaturatedProduct(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() / b ? std::numeric_limits<uint64_t>::max()
                                                        : a * b;
}

uint64_t SaturatedDifference(uint64_t a, uint64_t b) {
    return a > b ? a - b : 0;
}

} // namespace

uint64_t ExpandedAtMost(uint16_t method, uint64_t compressed) {
    switch (method) {
    case kMethodStored:
        return compressed;
    case kMethodBzip2:
        return SaturatedProduct(compressed, kMaxBzip2Ratio);
    case kMethodLzma:
    case kMethodXz:
        return SaturatedProduct(compressed, kMaxLzmaRatio);
    case kMethodZstandard:
        return SaturatedProduct(compressed, kMaxZstandardRatio);
    default:
        return SaturatedProduct(compressed, kMaxDeflateRatio);
    }
}

uint64_t RoomFor(uint64_t size) {
    return size + 1;
}

bool RoomHolds(uint64_t room, uint64_t size) {
    return room > size;
}

uint64_t RoomUpFront(uint16_t method, uint64_t declared, uint64_t present) {
    const uint64_t share =
        std::min(SaturatedProduct(present, kUpFrontRatio), kUpFrontLimit - kUpFrontFloor) +
        kUpFrontFloor;
    return declared <= std::min(ExpandedAtMost(method, present), share) ? RoomFor(declared) : 0;
}

uint64_t RoomGrown(uint64_t has, uint64_t needs, uint64_t most) {
    return std::min(most, std::max(needs, SaturatedProduct(has, 2)));
}

uint64_t ReserveGrown(uint64_t has, uint64_t needs, uint64_t most) {
    const uint64_t affordable =
        std::min<uint64_t>(kUpFrontLimit, platform::AvailablePhysicalMemory() / kLeapShare);
    return most <= affordable ? std::max(most, needs) : RoomGrown(has, needs, most);
}

bool RoomPossible(uint64_t room) {
    return room <= std::numeric_limits<size_t>::max() / 2;
}

void ReserveRoom(TMemoryStream& stream, uint64_t room) {
    // Room reserved is room about to be written: where the system can, its pages are made
    // at once, before the stream's bytes move in, instead of a fault each.
    stream.Reserve(static_cast<int64_t>(room), platform::AdviseWrittenWhole);
}

void ReserveRoomAhead(TMemoryStream& stream, uint64_t room) {
    stream.Reserve(static_cast<int64_t>(room));
}

bool HoldsSpareRoom(size_t size, size_t capacity) {
    return capacity - size > kSpareRoomKept;
}

uint64_t RoomAhead(const TDirItem& item, uint64_t written, uint64_t inputSoFar) {
    const uint64_t honest = ExpandedAtMost(CompressionMethodOf(item), inputSoFar);
    return RoomFor(SaturatedDifference(std::min(item.FullUncompressedSize(), honest), written));
}

uint64_t OutputEstimate(const TDirItem& item, int64_t chunk) {
    const uint64_t compressed = std::max<uint64_t>(item.FullCompressedSize(), 1);
    // The ratio is taken whole, rounded down, on purpose; the bound is zlib's for the chunk.
    const uint64_t wholeRatio = item.FullUncompressedSize() / compressed + 1;
    const int64_t chunkBound = chunk + chunk / 2 + 12 + 255;
    const double v =
        std::ldexp(std::floor(std::ldexp(
                       static_cast<double>(wholeRatio) * static_cast<double>(chunkBound), -8)),
                   8);
    const double exponent = std::round(std::log2(std::max(v, 1.0)));
    return exponent >= 63 ? std::numeric_limits<uint64_t>::max() >> 1
                          : uint64_t{1} << static_cast<int>(exponent);
}

int64_t ChunkSize(const TDirItem& item, int64_t left, uint64_t availableMemory) {
    int64_t chunk = std::min(kChunkLimit, left);
    while (chunk >= kSmallestHalvedChunk &&
           OutputEstimate(item, chunk) >= availableMemory / kMemoryShareDivisor)
        chunk /= 2;
    return std::max<int64_t>(chunk, 1);
}

uint64_t RoomForNextPiece(uint64_t produced, uint64_t most) {
    return std::min(most, produced + std::clamp(produced, kFirstPiece, kPiece));
}

size_t PieceOffered(uint64_t room) {
    return static_cast<size_t>(std::min(room, kPiece));
}

uint64_t BlockGrowStep(uint64_t length) {
    return (length + kBlockGrowUnit - 1) / kBlockGrowUnit * kBlockGrowUnit;
}

bool WholeInputFits(uint64_t compressed, uint64_t declared) {
    return compressed <= static_cast<uint64_t>(kChunkLimit) ||
           compressed <= declared / kWholeInputShare;
}

} // namespace za
