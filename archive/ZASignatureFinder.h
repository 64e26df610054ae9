#pragma once

#include <cstdint>
#include <string>

class TStream;

namespace za {

// The first place in [begin, end) where the four signature bytes start, or end.
const unsigned char* FindSignature(const unsigned char* begin, const unsigned char* end,
                                   const unsigned char (&signature)[4]);

// Finds a 4-byte signature forward from a position, reading the stream in blocks. Searches
// that start inside a stretch already searched reuse its answer, so a scan that asks again
// and again from later positions reads the stream about once.
class SignatureFinder {
public:
    SignatureFinder(TStream& stream, uint32_t signature, int64_t blockSize);

    // The first position at or after from where the signature starts, or -1. The stream
    // keeps its position.
    int64_t Next(int64_t from);

    int64_t StreamSize() const { return streamSize_; }

private:
    int64_t Search(int64_t from);
    int64_t BlockLength() const { return static_cast<int64_t>(block_.size()); }
    void LoadBlock(int64_t from);

    TStream& stream_;
    unsigned char signature_[4];
    int64_t blockSize_;
    int64_t streamSize_;
    std::string block_;
    int64_t blockStart_ = 0;
    bool answered_ = false;
    int64_t askedFrom_ = 0;
    int64_t answer_ = -1;
};

} // namespace za
