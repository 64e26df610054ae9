#include "Streams.h"

#include "Exception.h"
#include "platform/File.h"

#include <algorithm>
#include <cstring>

int64_t TStream::Size() {
    const int64_t saved = Position();
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(saved, TSeekOrigin::soBeginning);
    return size;
}

int64_t TStream::SeekTarget(int64_t position, int64_t offset, TSeekOrigin origin,
                            const std::function<int64_t()>& size) {
    switch (origin) {
    case TSeekOrigin::soBeginning:
        return offset;
    case TSeekOrigin::soCurrent:
        return position + offset;
    case TSeekOrigin::soEnd:
        return size() + offset;
    }
    return position;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t kBlock = 1 << 16;
    std::string block(static_cast<size_t>(std::min(count, kBlock)), '\0');
    for (int64_t left = count; left > 0;) {
        const int64_t n = std::min(left, kBlock);
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= n;
    }
    return count;
}

void TCustomMemoryStream::SetPointer(const char* memory, int64_t size) {
    memory_ = memory;
    size_ = size;
}

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
    if (position_ < 0 || count < 0)
        return 0;
    int64_t n = size_ - position_;
    if (n <= 0)
        return 0;
    n = std::min(n, count);
    std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, offset, origin, [this] { return size_; });
    return position_;
}

TMemoryStream::TMemoryStream(std::string initial) : buffer_(std::move(initial)) {
    Rebind();
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (position_ < 0 || count <= 0)
        return 0;
    const int64_t end = position_ + count;
    if (end > static_cast<int64_t>(buffer_.size())) {
        if (end > static_cast<int64_t>(buffer_.capacity()))
            buffer_.reserve(std::max<size_t>(static_cast<size_t>(end), buffer_.capacity() * 2));
        buffer_.resize(static_cast<size_t>(end));
    }
    std::memcpy(buffer_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    Rebind();
    return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
    buffer_.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    position_ = std::min(position_, newSize);
    Rebind();
}

void TMemoryStream::Reserve(int64_t capacity, void (*prepare)(void* block, size_t size)) {
    if (capacity <= Capacity())
        return;
    // A string asked to grow may double instead; a fresh one takes the size asked for.
    std::string grown;
    grown.reserve(static_cast<size_t>(capacity));
    if (prepare)
        prepare(grown.data(), grown.capacity());
    grown.append(buffer_);
    buffer_ = std::move(grown);
    Rebind();
}

void TMemoryStream::Clear() {
    buffer_.clear();
    buffer_.shrink_to_fit();
    position_ = 0;
    Rebind();
}

std::string TStringStream::TakeDataString() {
    std::string taken = std::move(Buffer());
    Clear();
    return taken;
}

namespace {

constexpr int64_t kReadAheadSize = 64 << 10;

platform::TFileAccess AccessFor(uint16_t mode) {
    if (mode == fmCreate)
        return platform::TFileAccess::Create;
    switch (mode & 0x3) {
    case fmOpenWrite:
    case fmOpenReadWrite:
        return platform::TFileAccess::ReadWrite;
    default:
        return platform::TFileAccess::Read;
    }
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : fileName_(fileName), file_(platform::OpenFile(fileName, AccessFor(mode))),
      writable_(AccessFor(mode) != platform::TFileAccess::Read) {
    if (!file_) {
        const char* what = mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"";
        throw EFOpenError(what + fileName + "\"");
    }
}

TFileStream::~TFileStream() = default;

bool TFileStream::InReadAhead(int64_t position) const {
    return position >= readAheadStart_ &&
           position < readAheadStart_ + static_cast<int64_t>(readAhead_.size());
}

void TFileStream::FillReadAhead() {
    readAhead_.resize(static_cast<size_t>(kReadAheadSize));
    const int64_t n = file_->ReadAt(position_, readAhead_.data(), kReadAheadSize);
    readAhead_.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
    readAheadStart_ = position_;
}

int64_t TFileStream::TakeFromReadAhead(char* out, int64_t count) {
    if (!InReadAhead(position_))
        return 0;
    const int64_t offset = position_ - readAheadStart_;
    const int64_t n = std::min(count, static_cast<int64_t>(readAhead_.size()) - offset);
    std::memcpy(out, readAhead_.data() + offset, static_cast<size_t>(n));
    position_ += n;
    return n;
}

// What the read-ahead block holds comes from it; a small rest through a new block, a large
// one straight from the file.
int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (position_ < 0 || count <= 0)
        return 0;
    auto* out = static_cast<char*>(buffer);
    const int64_t taken = TakeFromReadAhead(out, count);
    const int64_t rest = count - taken;
    if (rest >= kReadAheadSize) {
        const int64_t n = std::max<int64_t>(file_->ReadAt(position_, out + taken, rest), 0);
        position_ += n;
        return taken + n;
    }
    if (rest > 0) {
        FillReadAhead();
        return taken + TakeFromReadAhead(out + taken, rest);
    }
    return taken;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (!writable_ || position_ < 0 || count <= 0)
        return 0;
    readAhead_.clear();
    const int64_t n = std::max<int64_t>(file_->WriteAt(position_, buffer, count), 0);
    position_ += n;
    return n;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, offset, origin, [this] { return Size(); });
    return position_;
}

int64_t TFileStream::Size() {
    return std::max<int64_t>(file_->Size(), 0);
}

void TFileStream::SetSize(int64_t newSize) {
    if (!writable_ || !file_->Resize(std::max<int64_t>(newSize, 0)))
        throw EWriteError();
    readAhead_.clear();
    position_ = std::min(position_, newSize);
}
