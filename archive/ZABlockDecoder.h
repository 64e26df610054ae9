#pragma once

#include "ZAConst.h"
#include "ZADecodingRequest.h"

#include <cstdint>
#include <string>

class TZAOutputArea;

// Decodes the component's own format: a 50-byte header, then blocks of a 4-byte length and
// data, each block stored or a complete zlib stream.
class TZABlockDecoder {
public:
    TZABlockDecoder(const TZADecodingRequest& request, TZAOutputArea& output);

    // Reads the format's header: true when it is there, agreeing with the item's declared
    // size about its blocks. Data of any other method agrees by chance one time in 2^32.
    bool FindHeader();
    // After the header: true when every block decoded, or when the caller cancelled between
    // blocks.
    bool Run();
    int64_t Consumed() const { return consumed_; }

private:
    bool DecodeBlock(bool last);
    bool InflateBlock(const unsigned char* bytes, size_t length, bool last);

    const TZADecodingRequest& request_;               // the item, its streams and the caller
    TZAOutputArea& output_;                           // where the blocks' bytes go
    unsigned char header_[za::kBlockHeaderSize] = {}; // the format's header, as read
    int32_t blockCount_ = 0;                          // the blocks the header announces
    int64_t consumed_ = 0;                            // the item's compressed bytes consumed so far
    std::string block_; // the block at hand, its room kept for the next
};
