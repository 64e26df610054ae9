#include "ZABlockDecoder.h"

#include "ZADirArray.h"
#include "ZALittleEndian.h"
#include "ZAOutputArea.h"
#include "ZAOutputRoom.h"
#include "ZAZlib.h"

using namespace za;

namespace {

namespace field {
constexpr int kBlockSize = 0, kTotalSize = 8, kBlockCount = 16, kAlgorithm = 20, kCompressed = 21,
              kEncryption = 22;
}

constexpr int kLengthSize = 4;

} // namespace

TZABlockDecoder::TZABlockDecoder(const TZADecodingRequest& request, TZAOutputArea& output)
    : request_(request), output_(output) {}

bool TZABlockDecoder::Run() {
    // The cipher of encrypted block-format items is not known; such items fail to decode.
    bool decoded = Le16(header_ + field::kEncryption) == kSaturated16;
    for (int32_t i = 0; decoded && i < blockCount_ && !request_.Host.Cancelled(consumed_); ++i)
        decoded = DecodeBlock(i == blockCount_ - 1);
    return decoded;
}

bool TZABlockDecoder::FindHeader() {
    if (!request_.Read(header_, kBlockHeaderSize))
        return false;
    consumed_ += kBlockHeaderSize;
    blockCount_ = static_cast<int32_t>(Le32(header_ + field::kBlockCount));
    const uint64_t total = request_.Item.FullUncompressedSize();
    const uint32_t blockSize = Le32(header_ + field::kBlockSize);
    const uint64_t blocks =
        blockSize == 0 ? (total == 0 ? 0 : ~uint64_t{0}) : (total + blockSize - 1) / blockSize;
    return Le32(header_ + field::kTotalSize) == static_cast<uint32_t>(total) && blockCount_ >= 0 &&
           static_cast<uint64_t>(blockCount_) == blocks;
}

bool TZABlockDecoder::DecodeBlock(bool last) {
    unsigned char lengthBytes[kLengthSize];
    if (!request_.Read(lengthBytes, kLengthSize))
        return false;
    consumed_ += kLengthSize;
    const auto length = static_cast<int32_t>(Le32(lengthBytes));
    // A block longer than the rest of the stream cannot be read whole.
    if (length < 0 || length > request_.Archive.Size() - request_.Archive.Position())
        return false;
    block_.resize(static_cast<size_t>(length));
    auto* bytes = reinterpret_cast<unsigned char*>(block_.data());
    if (!request_.Read(bytes, length))
        return false;
    const bool emitted = header_[field::kCompressed] != 0
                             ? InflateBlock(bytes, static_cast<size_t>(length), last)
                             : output_.Emit(bytes, static_cast<size_t>(length));
    if (emitted)
        consumed_ += length;
    return emitted;
}

// Every block but the last holds the block size; the last holds the rest of the total.
bool TZABlockDecoder::InflateBlock(const unsigned char* bytes, size_t length, bool last) {
    if (header_[field::kAlgorithm] != 0 || length == 0)
        return false;
    const TDirItem& item = request_.Item;
    const uint64_t total = item.UncompressedSize == kSaturated32
                               ? item.UncompressedSize64
                               : Le32(header_ + field::kTotalSize);
    const uint64_t expected = !last ? Le32(header_ + field::kBlockSize)
                                    : (total > output_.Written() ? total - output_.Written() : 0);
    TZAInflater inflater(false);
    if (!inflater.Ready())
        return false;
    const auto produced = output_.Decode({.Decoder = inflater,
                                          .Input = bytes,
                                          .Length = length,
                                          .InputSoFar = static_cast<uint64_t>(consumed_) + length,
                                          .FirstRoom = expected,
                                          .GrowStep = BlockGrowStep(length),
                                          .WholeStream = true});
    return produced && *produced != 0;
}
