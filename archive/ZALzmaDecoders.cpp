#include "ZAConst.h"
#include "ZADirArray.h"
#include "ZALibraryDecoder.h"
#include "ZALibraryDecoders.h"
#include "ZALittleEndian.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

namespace za {
namespace {

// What the liblzma decoders share: one stream, ended when the object goes.
class TZALiblzmaDecoder : public TZALibraryDecoder {
public:
    TZALiblzmaDecoder() = default;
    ~TZALiblzmaDecoder() override { lzma_end(&stream_); }
    TZALiblzmaDecoder(const TZALiblzmaDecoder&) = delete;
    TZALiblzmaDecoder& operator=(const TZALiblzmaDecoder&) = delete;

    void SetInput(const void* data, size_t length) override {
        stream_.next_in = static_cast<const uint8_t*>(data);
        stream_.avail_in = length;
    }
    size_t InputLeft() const override { return stream_.avail_in; }

protected:
    TStep Code(void* output, size_t capacity, size_t& produced) {
        stream_.next_out = static_cast<uint8_t*>(output);
        stream_.avail_out = capacity;
        const lzma_ret result = lzma_code(&stream_, LZMA_RUN);
        produced = capacity - stream_.avail_out;
        if (result == LZMA_STREAM_END)
            return TStep::Ended;
        return result == LZMA_OK ? TStep::Going : TStep::Failed;
    }

    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// An XZ stream, with its own checks; its dictionary's pages are made only as output fills
// them, so no limit is set on the memory it asks for.
class TZAXzDecoder final : public TZALiblzmaDecoder {
public:
    TZAXzDecoder() {
        ready_ = lzma_stream_decoder(&stream_, std::numeric_limits<uint64_t>::max(), 0) == LZMA_OK;
    }
    bool Ready() const override { return ready_; }

protected:
    TStep Step(void* output, size_t capacity, size_t& produced) override {
        return Code(output, capacity, produced);
    }

private:
    bool ready_ = false;
};

// ZIP's LZMA: a version (2 bytes), the properties' length (2 bytes) and the properties, then
// raw LZMA1 data. The data ends at the item's declared size, with or without an end marker
// there, as ZIP's end-marker flag may say either.
class TZALzmaDecoder final : public TZALiblzmaDecoder {
public:
    explicit TZALzmaDecoder(const TDirItem& item) : declared_(item.FullUncompressedSize()) {}
    // The stream is made once its header is read.
    bool Ready() const override { return true; }

protected:
    TStep Step(void* output, size_t capacity, size_t& produced) override {
        if (!started_) {
            TakeHeader();
            if (header_.size() < HeaderSize())
                return TStep::Going;
            if (!Start())
                return TStep::Failed;
        }
        return Code(output, capacity, produced);
    }

private:
    static constexpr size_t kPrefixSize = 4;
    static constexpr size_t kPropertiesSize = 5;

    size_t HeaderSize() const {
        return header_.size() < kPrefixSize
                   ? kPrefixSize
                   : kPrefixSize + Le16(reinterpret_cast<const unsigned char*>(header_.data()) + 2);
    }

    void TakeHeader() {
        while (stream_.avail_in > 0 && header_.size() < HeaderSize()) {
            header_ += static_cast<char>(*stream_.next_in++);
            --stream_.avail_in;
        }
    }

    // A dictionary longer than the item reaches back to nothing: it is made no longer.
    bool Start() {
        if (header_.size() != kPrefixSize + kPropertiesSize)
            return false;
        lzma_filter filters[2] = {{.id = LZMA_FILTER_LZMA1EXT, .options = nullptr},
                                  {.id = LZMA_VLI_UNKNOWN, .options = nullptr}};
        const auto* properties = reinterpret_cast<const uint8_t*>(header_.data()) + kPrefixSize;
        if (lzma_properties_decode(&filters[0], nullptr, properties, kPropertiesSize) != LZMA_OK)
            return false;
        auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
        options->dict_size = static_cast<uint32_t>(std::min<uint64_t>(
            options->dict_size, std::max<uint64_t>(declared_, LZMA_DICT_SIZE_MIN)));
        options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        lzma_set_ext_size(*options, declared_);
        started_ = lzma_raw_decoder(&stream_, filters) == LZMA_OK;
        std::free(options);
        return started_;
    }

    const uint64_t declared_; // the item's declared size, where its data ends
    std::string header_;      // the header's bytes read so far
    bool started_ = false;    // the header is read and the stream made
};

} // namespace

std::unique_ptr<TZAStreamDecoder> MakeXzDecoder() {
    return std::make_unique<TZAXzDecoder>();
}

std::unique_ptr<TZAStreamDecoder> MakeLzmaDecoder(const TDirItem& item) {
    return std::make_unique<TZALzmaDecoder>(item);
}

} // namespace za
