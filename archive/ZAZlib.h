#pragma once

#include "ZAStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct z_stream_s;

namespace za {

// The standard CRC-32 of the ZIP format, continued over more bytes (start from 0).
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length);
// The table the CRC-32 works with, shared by the traditional encryption's keys.
const uint32_t* Crc32Table();

// Decodes a whole raw deflate stream that must fill the output exactly, refusing what zlib
// refuses a chunk at a time. False for bad data, for a stream that would pass the output's
// end, and for one that ends short of it.
bool InflateWhole(const void* input, size_t inputLength, void* output, size_t outputLength);

// One zlib inflate stream, ended when the object goes.
class TZAInflater : public TZAStreamDecoder {
public:
    // raw: plain deflate data without the zlib header and trailer.
    explicit TZAInflater(bool raw);
    ~TZAInflater() override;
    TZAInflater(const TZAInflater&) = delete;
    TZAInflater& operator=(const TZAInflater&) = delete;

    bool Ready() const override { return ready_; }
    // Back to the start of a new stream, without input, keeping what zlib allocated. False
    // when not Ready.
    bool Restart();
    void SetInput(const void* data, size_t length) override;
    size_t InputLeft() const override;
    TDecodeResult Decode(void* output, size_t capacity, size_t& produced) override;

private:
    std::unique_ptr<z_stream_s> stream_;
    bool ready_ = false;
};

} // namespace za
