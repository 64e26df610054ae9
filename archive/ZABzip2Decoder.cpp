#include "ZALibraryDecoder.h"
#include "ZALibraryDecoders.h"

#include <bzlib.h>

namespace za {
namespace {

// One bzip2 stream, ended when the object goes.
class TZABzip2Decoder final : public TZALibraryDecoder {
public:
    TZABzip2Decoder() { ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~TZABzip2Decoder() override {
        if (ready_)
            BZ2_bzDecompressEnd(&stream_);
    }
    TZABzip2Decoder(const TZABzip2Decoder&) = delete;
    TZABzip2Decoder& operator=(const TZABzip2Decoder&) = delete;

    bool Ready() const override { return ready_; }
    // Pieces are chunks of an item, far below the library's 32-bit counts.
    void SetInput(const void* data, size_t length) override {
        stream_.next_in = static_cast<char*>(const_cast<void*>(data));
        stream_.avail_in = static_cast<unsigned>(length);
    }
    size_t InputLeft() const override { return stream_.avail_in; }

protected:
    TStep Step(void* output, size_t capacity, size_t& produced) override {
        stream_.next_out = static_cast<char*>(output);
        stream_.avail_out = static_cast<unsigned>(capacity);
        const int result = BZ2_bzDecompress(&stream_);
        produced = capacity - stream_.avail_out;
        if (result == BZ_STREAM_END)
            return TStep::Ended;
        return result == BZ_OK ? TStep::Going : TStep::Failed;
    }

private:
    bz_stream stream_{};
    bool ready_ = false;
};

} // namespace

std::unique_ptr<TZAStreamDecoder> MakeBzip2Decoder() {
    return std::make_unique<TZABzip2Decoder>();
}

} // namespace za
