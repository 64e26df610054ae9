#pragma once

#include "ZADecodingRequest.h"
#include "ZALibraryDecoders.h"

#include <cstdint>
#include <memory>

class TZADecodingScratch;
class TZAOutputArea;

// Decodes a stored, deflated or Zstandard item in one call, taken only where its outcome cannot
// differ from the chunked path's. Any failure puts both streams back as they were, so that the
// chunked path decodes the item again and gives its own result, partial output and all.
class TZAWholeItemDecoder {
public:
    TZAWholeItemDecoder(const TZADecodingRequest& request, int64_t dataSize, TZAOutputArea& output,
                        TZADecodingScratch& scratch);

    // True when the item decoded whole to its declared size and CRC-32.
    bool Run();

private:
    bool Allowed() const;
    za::TWholeDecode Decoder() const;
    const unsigned char* Input();

    const TZADecodingRequest& request_;          // the item and its streams
    const int64_t dataSize_;                     // the item's compressed bytes
    TZAOutputArea& output_;                      // where the item goes, in place
    TZADecodingScratch& scratch_;                // its read buffer takes input that fits a chunk
    std::unique_ptr<unsigned char[]> heldInput_; // input too large for the read buffer
};
