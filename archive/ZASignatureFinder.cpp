#include "ZASignatureFinder.h"

#include "ZALittleEndian.h"
#include "runtime/Streams.h"

#include <algorithm>
#include <cstring>

namespace za {

// Only the places holding the signature's first byte are compared, and the library finds
// those.
const unsigned char* FindSignature(const unsigned char* begin, const unsigned char* end,
                                   const unsigned char (&signature)[4]) {
    for (const unsigned char* p = begin; end - p >= 4; ++p) {
        p = static_cast<const unsigned char*>(
            std::memchr(p, signature[0], static_cast<size_t>(end - p - 3)));
        if (p == nullptr)
            break;
        if (std::memcmp(p, signature, 4) == 0)
            return p;
    }
    return end;
}

SignatureFinder::SignatureFinder(TStream& stream, uint32_t signature, int64_t blockSize)
    : stream_(stream), blockSize_(blockSize), streamSize_(stream.Size()) {
    PutLe32(signature_, signature);
}

int64_t SignatureFinder::Next(int64_t from) {
    from = std::max<int64_t>(from, 0);
    if (answered_ && from >= askedFrom_ && (answer_ < 0 || from <= answer_))
        return answer_;
    const int64_t saved = stream_.Position();
    answer_ = Search(from);
    askedFrom_ = from;
    answered_ = true;
    stream_.SetPosition(saved);
    return answer_;
}

int64_t SignatureFinder::Search(int64_t from) {
    while (from + 4 <= streamSize_) {
        if (!(from >= blockStart_ && from + 4 <= blockStart_ + BlockLength()))
            LoadBlock(from);
        const auto* block = reinterpret_cast<const unsigned char*>(block_.data());
        const unsigned char* end = block + block_.size();
        const unsigned char* hit = FindSignature(block + (from - blockStart_), end, signature_);
        if (hit != end)
            return blockStart_ + (hit - block);
        // A signature may straddle the block end: go on three bytes before it. A stream
        // that delivers less than it claims can leave the search with nowhere further.
        const int64_t next = blockStart_ + BlockLength() - 3;
        if (next <= from || blockStart_ + BlockLength() >= streamSize_)
            break;
        from = next;
    }
    return -1;
}

void SignatureFinder::LoadBlock(int64_t from) {
    block_.resize(static_cast<size_t>(std::min(blockSize_, streamSize_ - from)));
    stream_.SetPosition(from);
    block_.resize(static_cast<size_t>(stream_.Read(block_.data(), BlockLength())));
    blockStart_ = from;
}

} // namespace za
