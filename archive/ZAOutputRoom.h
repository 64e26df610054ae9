#pragma once

#include <cstddef>
#include <cstdint>

class TMemoryStream;
struct TDirItem;

// How much memory decoding an item may take, and when: the chunks its data is read in, the
// room its output is given and how that room grows. Room is never made for more than the
// compressed bytes at hand can honestly become, so that a header lying about an item's size
// cannot make extraction take memory its data would not fill; and a result that came out
// shorter than its room gives the room back.
namespace za {

// Compressed data is read at most this much at a time, so that memory use does not grow with
// the item's size.
inline constexpr int64_t kChunkLimit = 0x100000;

// The most that this many bytes of an item's data can decode to, by its method: stored data
// is itself; deflate (also in the component's block format) expands no more than 1032 to 1,
// Zstandard 32,768 to 1, LZMA and XZ about 7,100 to 1, bzip2 about 2.2 million to 1.
uint64_t ExpandedAtMost(uint16_t method, uint64_t compressed);

// Room for output of this size: the size and the byte past it, which extraction looks at to
// tell data that runs on past its declared size.
uint64_t RoomFor(uint64_t size);
// Whether room holds output of this size and the byte past it.
bool RoomHolds(uint64_t room, uint64_t size);

// Room made before the first byte is decoded: the room for the declared size, where the
// bytes present can become that much and, since the header may still lie, it stays within a
// share of them that ordinary data does not pass. Otherwise none: the room then grows with
// the output that really comes.
uint64_t RoomUpFront(uint16_t method, uint64_t declared, uint64_t present);

// Room for output that outgrew the room it has: doubled, so that growth costs few copies,
// but never past the most it may need.
uint64_t RoomGrown(uint64_t has, uint64_t needs, uint64_t most);

// Room for output that outgrew a memory stream's reserve: at once the most it may need, when
// that fits well within the free memory, since a large block's pages are made only as the
// output fills them; a doubling would hold the old block and its copy at once, half as
// large again as the output. Otherwise doubled, as any room.
uint64_t ReserveGrown(uint64_t has, uint64_t needs, uint64_t most);

// Whether room this large can be asked for at all: no more than half the address space.
bool RoomPossible(uint64_t room);

// Reserves room in a memory stream for output about to be written there.
void ReserveRoom(TMemoryStream& stream, uint64_t room);
// Reserves room in a memory stream for output that may come: its pages are made as they
// are written.
void ReserveRoomAhead(TMemoryStream& stream, uint64_t room);

// Whether a finished result holds room beyond the byte past its end that extraction looked
// at, and so must give it back.
bool HoldsSpareRoom(size_t size, size_t capacity);

// The room the next output of an item may take: no more than its declared size leaves, nor
// than its compressed input so far can honestly become, and the byte past it.
uint64_t RoomAhead(const TDirItem& item, uint64_t written, uint64_t inputSoFar);

// A power of two near what a chunk of an item's data inflates to at the item's overall ratio.
uint64_t OutputEstimate(const TDirItem& item, int64_t chunk);

// The next chunk of an item's data with this much of it left: at most the chunk limit, and
// halved while its estimated output would take a twentieth or more of the free physical
// memory, down to about 512 bytes.
int64_t ChunkSize(const TDirItem& item, int64_t left, uint64_t availableMemory);

// Room in place for the next piece of output, with this much produced so far: as much again,
// within bounds, so that a stream that ends or fails early clears little room, and never
// past the most the output may take.
uint64_t RoomForNextPiece(uint64_t produced, uint64_t most);

// What one inflate call is offered of the room left: a piece small enough that its CRC is
// taken while it is still in the cache.
size_t PieceOffered(uint64_t room);

// Room the output of a block of the component's format grows by at least, for its
// compressed length.
uint64_t BlockGrowStep(uint64_t length);

// Whether an item's compressed bytes, when they cannot be used where they are, may be read
// whole: no more than a chunk of the chunked path, or a tenth of the item's declared size.
bool WholeInputFits(uint64_t compressed, uint64_t declared);

} // namespace za
