#pragma once

#include "ZAStreamDecoder.h"

#include <cstddef>

namespace za {

// What the decoders over a compression library beside zlib share: the stream's end is kept,
// a step that took all input with room to spare has drained the library, and a step that
// neither takes input nor makes output cannot go on.
class TZALibraryDecoder : public TZAStreamDecoder {
public:
    TDecodeResult Decode(void* output, size_t capacity, size_t& produced) final;

protected:
    enum class TStep { Going, Ended, Failed };
    // One call of the library into the buffer.
    virtual TStep Step(void* output, size_t capacity, size_t& produced) = 0;

private:
    bool ended_ = false; // the stream ended; what follows it is not read
};

} // namespace za
