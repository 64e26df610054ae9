#pragma once

#include "archive/ZADirManager.h"
#include "archive/ZAExcept.h"
#include "archive/ZipArchiver.h"
#include "unzip/uzip.h"

#include <functional>
#include <string>

namespace test {

// An archiver opened over bytes held by the object.
class OpenArchive {
public:
    explicit OpenArchive(std::string bytes,
                         const std::function<void(TZipArchiver&)>& configure = {})
        : bytes_(std::move(bytes)) {
        stream_.AttachMemory(bytes_.data(), static_cast<int64_t>(bytes_.size()));
        if (configure)
            configure(archiver_);
        archiver_.OpenArchive(stream_, false);
    }

    TZipArchiver& Archiver() { return archiver_; }
    TZADirManager& Dir() { return *archiver_.DirManager(); }
    TZADirArray& Items() { return archiver_.DirManager()->Items; }
    const TDirItem& Item(int i) { return Items().GetItem(i); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    TReadMemoryStream stream_;
    TZipArchiver archiver_{nullptr};
};

// A stream that is no memory stream, so the decoder cannot write into it in place.
class AppendingStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override {
        bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(bytes.size()); }
    void SetSize(int64_t) override {}

    std::string bytes;
};

// The native error of what the action raised, or -1 when it raised no EZAException.
inline int NativeErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZAException& e) {
        return e.NativeError();
    }
    return -1;
}

// What extracting an item shows a caller: the bytes, the error raised, the count of bytes
// processed.
struct ExtractionOutcome {
    std::string bytes;
    std::string error;
    int64_t processed = 0;
    bool operator==(const ExtractionOutcome&) const = default;
};

// The item into a memory stream with the room reserved that a string result gets, decoded
// whole where the decoder may, or a chunk at a time.
inline ExtractionOutcome ExtractedWithRoom(TZipArchiver& archiver, int32_t index, bool whole) {
    archiver.DecodeWholeItems = whole;
    TStringStream output;
    output.Reserve(archiver.ExtractionReserve(index));
    ExtractionOutcome outcome;
    try {
        archiver.ExtractItemToStream(index, output);
    } catch (const Exception& e) {
        outcome.error = e.Message();
    }
    outcome.bytes = output.DataString();
    outcome.processed = archiver.BytesProcessed;
    return outcome;
}

} // namespace test
