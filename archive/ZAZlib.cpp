#include "ZAZlib.h"

#include <zlib.h>

#ifdef CERTINSTALL_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <limits>

namespace za {
namespace {

// What zlib takes in one call, in its 32-bit counts.
constexpr size_t kLargestPiece = size_t{1} << 30;

} // namespace

#ifdef CERTINSTALL_LIBDEFLATE

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length) {
    return libdeflate_crc32(crc, data, length);
}

#else

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length) {
    const auto* bytes = static_cast<const Bytef*>(data);
    while (length > 0) {
        const auto part =
            static_cast<uInt>(std::min<size_t>(length, std::numeric_limits<uInt>::max()));
        crc = static_cast<uint32_t>(crc32(crc, bytes, part));
        bytes += part;
        length -= part;
    }
    return crc;
}

#endif

// zlib, not libdeflate, which reads the reserved length symbols 286 and 287 and distance codes
// 30 and 31 as their valid neighbours, and takes more symbols in a header than deflate has:
// an item holding one would pass whole and fail a chunk at a time. Telling them apart
// beforehand means walking every symbol, which costs what zlib costs.
bool InflateWhole(const void* input, size_t inputLength, void* output, size_t outputLength) {
    // One per thread, restarted for each item: many small items would otherwise each pay for
    // a stream of their own.
    thread_local TZAInflater inflater(true);
    if (!inflater.Restart())
        return false;
    const auto* in = static_cast<const unsigned char*>(input);
    auto* out = static_cast<unsigned char*>(output);
    size_t made = 0;
    TDecodeResult result = TDecodeResult::NeedsOutput;
    do {
        if (inflater.InputLeft() == 0) {
            const size_t piece = std::min(inputLength, kLargestPiece);
            inflater.SetInput(in, piece);
            in += piece;
            inputLength -= piece;
        }
        // A full output is offered one byte more, which a stream that ends there leaves.
        unsigned char past = 0;
        const bool full = made == outputLength;
        size_t produced = 0;
        result =
            inflater.Decode(full ? &past : out + made, full ? 1 : outputLength - made, produced);
        if (full && produced != 0)
            return false;
        made += produced;
    } while (result == TDecodeResult::NeedsOutput ||
             (result == TDecodeResult::InputUsed && inputLength > 0));
    return result == TDecodeResult::StreamEnd && made == outputLength;
}

const uint32_t* Crc32Table() {
    static_assert(sizeof(z_crc_t) == sizeof(uint32_t));
    return reinterpret_cast<const uint32_t*>(get_crc_table());
}

TZAInflater::TZAInflater(bool raw) : stream_(std::make_unique<z_stream>()) {
    ready_ = (raw ? inflateInit2(stream_.get(), -MAX_WBITS) : inflateInit(stream_.get())) == Z_OK;
}

TZAInflater::~TZAInflater() {
    if (ready_)
        inflateEnd(stream_.get());
}

bool TZAInflater::Restart() {
    // Input a failed stream left is no input of the next.
    SetInput(nullptr, 0);
    return ready_ && inflateReset(stream_.get()) == Z_OK;
}

void TZAInflater::SetInput(const void* data, size_t length) {
    stream_->next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_->avail_in = static_cast<uInt>(length);
}

size_t TZAInflater::InputLeft() const {
    return stream_->avail_in;
}

TDecodeResult TZAInflater::Decode(void* output, size_t capacity, size_t& produced) {
    stream_->next_out = static_cast<Bytef*>(output);
    stream_->avail_out =
        static_cast<uInt>(std::min<size_t>(capacity, std::numeric_limits<uInt>::max()));
    const uInt offered = stream_->avail_out;
    const int result = inflate(stream_.get(), Z_NO_FLUSH);
    produced = offered - stream_->avail_out;
    if (result == Z_STREAM_END)
        return TDecodeResult::StreamEnd;
    // Besides errors, a stream that asks for a preset dictionary cannot go on: none is known.
    const bool drained = result == Z_BUF_ERROR && produced == 0 && stream_->avail_in == 0;
    if (result != Z_OK && !drained)
        return TDecodeResult::Failed;
    // Output that came back full may leave decoded bytes inside zlib even when all input
    // is taken: only a call that had room to spare has drained it.
    if (stream_->avail_in == 0 && stream_->avail_out != 0)
        return TDecodeResult::InputUsed;
    return TDecodeResult::NeedsOutput;
}

} // namespace za
