#include "ZALibraryDecoder.h"
#include "ZALibraryDecoders.h"

#include <zstd.h>

#include <memory>

namespace za {
namespace {

// One Zstandard frame, its context freed when the object goes. Any window the format allows
// is taken: its pages are made only as output fills them.
class TZAZstandardDecoder final : public TZALibraryDecoder {
public:
    TZAZstandardDecoder() : context_(ZSTD_createDCtx()) {
        const int largestWindow = ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound;
        ready_ =
            context_ != nullptr &&
            !ZSTD_isError(ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, largestWindow));
    }
    ~TZAZstandardDecoder() override { ZSTD_freeDCtx(context_); }
    TZAZstandardDecoder(const TZAZstandardDecoder&) = delete;
    TZAZstandardDecoder& operator=(const TZAZstandardDecoder&) = delete;

    bool Ready() const override { return ready_; }
    void SetInput(const void* data, size_t length) override { input_ = {data, length, 0}; }
    size_t InputLeft() const override { return input_.size - input_.pos; }

protected:
    // A frame ends where the library says nothing is left of it to read or to give.
    TStep Step(void* output, size_t capacity, size_t& produced) override {
        ZSTD_outBuffer out{output, capacity, 0};
        const size_t result = ZSTD_decompressStream(context_, &out, &input_);
        produced = out.pos;
        if (ZSTD_isError(result))
            return TStep::Failed;
        return result == 0 ? TStep::Ended : TStep::Going;
    }

private:
    ZSTD_DCtx* const context_;
    ZSTD_inBuffer input_{nullptr, 0, 0};
    bool ready_ = false;
};

} // namespace

// The first frame only, as a chunk at a time: what follows it is not read.
bool DecodeZstandardWhole(const void* input, size_t inputLength, void* output,
                          size_t outputLength) {
    // One per thread: many small items would otherwise each pay for a context.
    thread_local const std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(),
                                                                                  ZSTD_freeDCtx);
    const size_t frame = ZSTD_findFrameCompressedSize(input, inputLength);
    if (!context || ZSTD_isError(frame))
        return false;
    const size_t made = ZSTD_decompressDCtx(context.get(), output, outputLength, input, frame);
    return !ZSTD_isError(made) && made == outputLength;
}

std::unique_ptr<TZAStreamDecoder> MakeZstandardDecoder() {
    return std::make_unique<TZAZstandardDecoder>();
}

} // namespace za
