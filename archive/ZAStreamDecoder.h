#pragma once

#include <cstddef>

namespace za {

enum class TDecodeResult { NeedsOutput, InputUsed, StreamEnd, Failed };

// One stream of compressed data being decoded: input given a piece at a time, output made
// into the room the caller offers. Each compression method with a decoder has one.
class TZAStreamDecoder {
public:
    virtual ~TZAStreamDecoder() = default;

    // False when the stream could not be made.
    virtual bool Ready() const = 0;
    virtual void SetInput(const void* data, size_t length) = 0;
    virtual size_t InputLeft() const = 0;
    // Decodes into the buffer; says how many bytes it produced in produced. InputUsed only
    // when all input is taken and the output had room to spare, so that nothing decoded
    // waits inside the decoder; after the stream's end, every call gives StreamEnd and
    // nothing more.
    virtual TDecodeResult Decode(void* output, size_t capacity, size_t& produced) = 0;
};

} // namespace za
