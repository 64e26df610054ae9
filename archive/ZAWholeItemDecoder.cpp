#include "ZAWholeItemDecoder.h"

#include "ZAConst.h"
#include "ZADecodingScratch.h"
#include "ZADirArray.h"
#include "ZALibraryDecoders.h"
#include "ZAOutputArea.h"
#include "ZAOutputRoom.h"
#include "ZAZlib.h"

#include <algorithm>

using namespace za;

TZAWholeItemDecoder::TZAWholeItemDecoder(const TZADecodingRequest& request, int64_t dataSize,
                                         TZAOutputArea& output, TZADecodingScratch& scratch)
    : request_(request), dataSize_(dataSize), output_(output), scratch_(scratch) {}

bool TZAWholeItemDecoder::Run() {
    if (!Allowed())
        return false;
    const int64_t dataStart = request_.Archive.Position();
    // The input comes first: what it allocates may fail before the output has changed.
    const bool stored = request_.Item.CompressionMethod == kMethodStored;
    const unsigned char* input = stored ? nullptr : Input();
    if (!stored && !input) {
        request_.Archive.SetPosition(dataStart);
        return false;
    }
    unsigned char* output = output_.WholeArea();
    const auto size = static_cast<size_t>(request_.Item.FullUncompressedSize());
    const bool decoded = stored ? request_.Read(output, dataSize_)
                                : Decoder()(input, static_cast<size_t>(dataSize_), output, size);
    if (!decoded || !output_.EmitWholeArea()) {
        output_.DropArea();
        request_.Archive.SetPosition(dataStart);
        return false;
    }
    return true;
}

// The room must be reserved already, for the declared size and the byte more that the
// chunked path looks at: a header that lies about the size never makes this path allocate.
// Data that the directory cuts off before it starts is no data to decode.
bool TZAWholeItemDecoder::Allowed() const {
    const uint64_t declared = request_.Item.FullUncompressedSize();
    const bool stored = request_.Item.CompressionMethod == kMethodStored &&
                        static_cast<uint64_t>(dataSize_) == declared;
    return request_.MayDecodeWhole && dataSize_ >= 0 && output_.HasWholeRoom() &&
           (stored || Decoder() != nullptr);
}

// Deflate decodes whole with zlib; another method where its library does that faster.
TWholeDecode TZAWholeItemDecoder::Decoder() const {
    const uint16_t method = request_.Item.CompressionMethod;
    return method == kMethodDeflate ? InflateWhole : WholeLibraryDecoder(method);
}

// The item's compressed bytes in one piece: in place in a memory archive; otherwise read into
// the read buffer or a buffer of their own, where they may be read whole.
const unsigned char* TZAWholeItemDecoder::Input() {
    const int64_t start = request_.Archive.Position();
    if (auto* memory = dynamic_cast<TCustomMemoryStream*>(&request_.Archive)) {
        if (start < 0 || dataSize_ > memory->Size() - start)
            return nullptr;
        memory->SetPosition(start + dataSize_);
        return reinterpret_cast<const unsigned char*>(memory->Memory()) + start;
    }
    if (!WholeInputFits(static_cast<uint64_t>(dataSize_), request_.Item.FullUncompressedSize()))
        return nullptr;
    unsigned char* buffer = nullptr;
    if (dataSize_ <= kChunkLimit) {
        buffer = scratch_.ReadBuffer(static_cast<size_t>(std::max<int64_t>(dataSize_, 1)));
    } else {
        heldInput_ =
            std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(dataSize_));
        buffer = heldInput_.get();
    }
    return request_.Read(buffer, dataSize_) ? buffer : nullptr;
}
