#pragma once

#include <cstddef>
#include <cstdint>

// How much memory an item's output may take, and when. Room is never made for more than the
// compressed bytes at hand can honestly become, so that a header lying about an item's size
// cannot make extraction take memory its data would not fill; and a result that came out
// shorter than its room gives the room back.
namespace za {

// The most that this many bytes of an item's data can decode to: stored data is itself;
// deflate (also in the component's block format) expands no more than 1032 to 1.
uint64_t ExpandedAtMost(uint16_t method, uint64_t compressed);

// Room made before the first byte is decoded: the declared size and the byte past it that
// extraction looks at, where the bytes present can become that much and, since the header
// may still lie, it stays within a share of them that ordinary data does not pass. Otherwise
// none: the room then grows with the output that really comes.
uint64_t RoomUpFront(uint16_t method, uint64_t declared, uint64_t present);

// Room for output that outgrew the room it has: doubled, so that growth costs few copies,
// but never past the most it may need.
uint64_t RoomGrown(uint64_t has, uint64_t needs, uint64_t most);

// Whether a finished result holds room beyond the byte past its end that extraction looked
// at, and so must give it back.
bool HoldsSpareRoom(size_t size, size_t capacity);

} // namespace za
