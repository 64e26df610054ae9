#include "ZAOutputArea.h"

#include "ZADirArray.h"
#include "ZAOutputRoom.h"
#include "ZAZlib.h"
#include "runtime/Streams.h"

#include <algorithm>

using namespace za;

TZAOutputArea::TZAOutputArea(TStream& output, const TDirItem& item)
    : output_(output), memoryOutput_(dynamic_cast<TMemoryStream*>(&output)), item_(item) {}

bool TZAOutputArea::Emit(const unsigned char* data, size_t length) {
    const uint64_t declared = item_.FullUncompressedSize();
    if (length > (declared > written_ ? declared - written_ : 0))
        return false;
    crc_ = UpdateCrc32(crc_, data, length);
    if (output_.Write(data, static_cast<int64_t>(length)) != static_cast<int64_t>(length))
        return false;
    written_ += length;
    return true;
}

// Output beyond the item's declared size fails the piece: a stream that decodes further
// than it says must not take memory, nor is room made for more than the input so far can
// become.
std::optional<size_t> TZAOutputArea::Decode(const TZAInputPiece& piece) {
    BeginArea();
    if (!DecodeIntoArea(piece)) {
        DropArea();
        return std::nullopt;
    }
    const auto produced = static_cast<size_t>(areaLength_);
    if (!EmitArea())
        return std::nullopt;
    return produced;
}

void TZAOutputArea::BeginArea() {
    inPlace_ = memoryOutput_ && memoryOutput_->Position() == memoryOutput_->Size();
    areaStart_ = inPlace_ ? memoryOutput_->Position() : 0;
    areaLength_ = 0;
    areaCrc_ = crc_;
}

// Output is offered a piece at a time and its CRC taken right away, while the piece is
// still in the cache. In place, room is cleared before it is written, so it grows a piece at
// a time just ahead of the output: the clearing happens in the cache too. As zlib's own
// example does, decoding goes on while the output came back full.
bool TZAOutputArea::DecodeIntoArea(const TZAInputPiece& piece) {
    areaLimit_ = RoomAhead(item_, written_, piece.InputSoFar);
    piece.Decoder.SetInput(piece.Input, piece.Length);
    uint64_t capacity = std::clamp<uint64_t>(piece.FirstRoom, 1, areaLimit_);
    TDecodeResult result;
    do {
        if (inPlace_)
            capacity = RoomForNextPiece(areaLength_, areaLimit_);
        result = MadeRoom(capacity) ? DecodePart(piece.Decoder, capacity) : TDecodeResult::Failed;
        if (areaLength_ == capacity)
            capacity = RoomGrown(capacity, capacity + piece.GrowStep, areaLimit_);
    } while (result == TDecodeResult::NeedsOutput && areaLength_ < areaLimit_);
    return areaLength_ < areaLimit_ && (result == TDecodeResult::StreamEnd ||
                                        (result == TDecodeResult::InputUsed && !piece.WholeStream));
}

bool TZAOutputArea::MadeRoom(uint64_t capacity) {
    if (!RoomPossible(capacity))
        return false;
    if (inPlace_)
        MakeRoomInPlace(capacity);
    else
        GrowBuffer(capacity);
    return true;
}

void TZAOutputArea::MakeRoomInPlace(uint64_t capacity) {
    const int64_t end = areaStart_ + static_cast<int64_t>(capacity);
    if (memoryOutput_->Size() >= end)
        return;
    // A reserve that was kept small grows to meet output that really comes.
    if (end > memoryOutput_->Capacity())
        ReserveRoomAhead(*memoryOutput_,
                         ReserveGrown(static_cast<uint64_t>(memoryOutput_->Capacity()),
                                      static_cast<uint64_t>(end), areaStart_ + areaLimit_));
    memoryOutput_->SetSize(end);
}

void TZAOutputArea::GrowBuffer(uint64_t capacity) {
    if (capacity <= bufferCapacity_)
        return;
    auto grown = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    std::copy_n(buffer_.get(), bufferCapacity_, grown.get());
    buffer_ = std::move(grown);
    bufferCapacity_ = capacity;
}

TDecodeResult TZAOutputArea::DecodePart(TZAStreamDecoder& decoder, uint64_t capacity) {
    unsigned char* part = AreaStart() + areaLength_;
    size_t made = 0;
    const TDecodeResult result = decoder.Decode(part, PieceOffered(capacity - areaLength_), made);
    areaCrc_ = UpdateCrc32(areaCrc_, part, made);
    areaLength_ += made;
    return result;
}

unsigned char* TZAOutputArea::AreaStart() {
    return inPlace_ ? reinterpret_cast<unsigned char*>(memoryOutput_->WritableMemory()) + areaStart_
                    : buffer_.get();
}

// The area's bytes, whose CRC is taken already, become output; in place, room beyond them
// goes again.
bool TZAOutputArea::EmitArea() {
    if (inPlace_) {
        const int64_t end = areaStart_ + static_cast<int64_t>(areaLength_);
        memoryOutput_->SetSize(end);
        memoryOutput_->SetPosition(end);
    } else if (output_.Write(buffer_.get(), static_cast<int64_t>(areaLength_)) !=
               static_cast<int64_t>(areaLength_)) {
        return false;
    }
    crc_ = areaCrc_;
    written_ += areaLength_;
    return true;
}

void TZAOutputArea::DropArea() {
    if (inPlace_)
        memoryOutput_->SetSize(areaStart_);
}

bool TZAOutputArea::HasWholeRoom() const {
    return memoryOutput_ && memoryOutput_->Position() == memoryOutput_->Size() &&
           RoomHolds(static_cast<uint64_t>(memoryOutput_->Capacity() - memoryOutput_->Position()),
                     item_.FullUncompressedSize());
}

unsigned char* TZAOutputArea::WholeArea() {
    BeginArea();
    areaLength_ = item_.FullUncompressedSize();
    memoryOutput_->SetSize(areaStart_ + static_cast<int64_t>(areaLength_));
    return AreaStart();
}

bool TZAOutputArea::EmitWholeArea() {
    areaCrc_ = UpdateCrc32(crc_, AreaStart(), static_cast<size_t>(areaLength_));
    return areaCrc_ == item_.Crc32 && EmitArea();
}
