#include "ZAZlib.h"

#include <zlib.h>

#ifdef CERTINSTALL_LIBDEFLATE
#include "runtime/Owned.h"

#include <libdeflate.h>
#endif

#include <limits>

namespace za {

#ifdef CERTINSTALL_LIBDEFLATE

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length) {
    return libdeflate_crc32(crc, data, length);
}

bool WholeInflateAvailable() {
    return true;
}

bool InflateWhole(const void* input, size_t inputLength, void* output, size_t outputLength) {
    // One per thread, made once: many small items would otherwise each pay for its tables.
    thread_local const Owned<libdeflate_decompressor, libdeflate_free_decompressor> decompressor(
        libdeflate_alloc_decompressor());
    size_t produced = 0;
    return decompressor &&
           libdeflate_deflate_decompress_ex(decompressor.get(), input, inputLength, output,
                                            outputLength, nullptr,
                                            &produced) == LIBDEFLATE_SUCCESS &&
           produced == outputLength;
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

bool WholeInflateAvailable() {
    return false;
}

bool InflateWhole(const void*, size_t, void*, size_t) {
    return false;
}

#endif

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
    return ready_ && inflateReset(stream_.get()) == Z_OK;
}

void TZAInflater::SetInput(const void* data, size_t length) {
    stream_->next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_->avail_in = static_cast<uInt>(length);
}

size_t TZAInflater::InputLeft() const {
    return stream_->avail_in;
}

TInflateResult TZAInflater::Inflate(void* output, size_t capacity, size_t& produced) {
    stream_->next_out = static_cast<Bytef*>(output);
    stream_->avail_out =
        static_cast<uInt>(std::min<size_t>(capacity, std::numeric_limits<uInt>::max()));
    const uInt offered = stream_->avail_out;
    const int result = inflate(stream_.get(), Z_NO_FLUSH);
    produced = offered - stream_->avail_out;
    if (result == Z_STREAM_END)
        return TInflateResult::StreamEnd;
    // Besides errors, a stream that asks for a preset dictionary cannot go on: none is known.
    const bool drained = result == Z_BUF_ERROR && produced == 0 && stream_->avail_in == 0;
    if (result != Z_OK && !drained)
        return TInflateResult::Failed;
    // Output that came back full may leave decoded bytes inside zlib even when all input
    // is taken: only a call that had room to spare has drained it.
    if (stream_->avail_in == 0 && stream_->avail_out != 0)
        return TInflateResult::InputUsed;
    return TInflateResult::NeedsOutput;
}

} // namespace za
