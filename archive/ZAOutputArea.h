#pragma once

#include "ZAStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class TMemoryStream;
class TStream;
struct TDirItem;

// One piece of an item's compressed input to decode, and how room is made for its output.
struct TZAInputPiece {
    za::TZAStreamDecoder& Decoder; // the stream the piece belongs to
    const unsigned char* Input;    // the piece's bytes
    size_t Length;                 // how many there are
    uint64_t InputSoFar;           // the item's compressed bytes up to this piece's end
    uint64_t FirstRoom;            // the room offered first, where the area is a buffer of its own
    uint64_t GrowStep;             // the room added at least when that fills
    bool WholeStream;              // the piece must end its stream, not merely be used up
};

// Where an item's decoded bytes go, with their count and CRC-32; never more than the item's
// declared size. Decoded bytes are made in an area first: in place at the end of a memory
// stream written at its end, sparing a buffer and a copy, or else in a buffer of its own.
class TZAOutputArea {
public:
    TZAOutputArea(TStream& output, const TDirItem& item);

    uint64_t Written() const { return written_; }
    uint32_t Crc() const { return crc_; }

    // Bytes as they are; false when they pass the declared size or are not all written.
    bool Emit(const unsigned char* data, size_t length);
    // Decodes a piece and emits what it gives. None when the piece fails, which leaves no
    // bytes of its own in the output.
    std::optional<size_t> Decode(const TZAInputPiece& piece);

    // Whether the whole item can be decoded in place: the output is a memory stream written at
    // its end, with the room reserved for the declared size already.
    bool HasWholeRoom() const;
    // The room for the whole item, at the output's end.
    unsigned char* WholeArea();
    // The whole area becomes output when its CRC-32 is the item's; otherwise it goes again.
    bool EmitWholeArea();
    // The area goes again, the output as it was before it.
    void DropArea();

private:
    void BeginArea();
    bool DecodeIntoArea(const TZAInputPiece& piece);
    bool MadeRoom(uint64_t capacity);
    void MakeRoomInPlace(uint64_t capacity);
    void GrowBuffer(uint64_t capacity);
    za::TDecodeResult DecodePart(za::TZAStreamDecoder& decoder, uint64_t capacity);
    unsigned char* AreaStart();
    bool EmitArea();

    TStream& output_;                         // where the bytes go
    TMemoryStream* const memoryOutput_;       // the output as a memory stream, when it is one
    const TDirItem& item_;                    // whose declared size and CRC-32 the output must meet
    uint64_t written_ = 0;                    // bytes emitted so far
    uint32_t crc_ = 0;                        // the CRC-32 of those bytes
    bool inPlace_ = false;                    // the area lies at the memory stream's end
    int64_t areaStart_ = 0;                   // where the area starts in the memory stream
    uint64_t areaLimit_ = 0;                  // one byte past the most the area may hold
    uint64_t areaLength_ = 0;                 // bytes the area holds so far
    uint32_t areaCrc_ = 0;                    // the item's CRC-32 with the area's bytes so far
    std::unique_ptr<unsigned char[]> buffer_; // the area where it is not in place
    uint64_t bufferCapacity_ = 0;             // the size of that buffer
};
