#include "Streams.h"

#include "Exception.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

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

void TMemoryStream::Reserve(int64_t capacity) {
    buffer_.reserve(static_cast<size_t>(std::max<int64_t>(capacity, 0)));
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

std::ios::openmode OpenModeFor(uint16_t mode) {
    if (mode == fmCreate)
        return std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc;
    switch (mode & 0x3) {
    case fmOpenWrite:
    case fmOpenReadWrite:
        return std::ios::in | std::ios::out | std::ios::binary;
    default:
        return std::ios::in | std::ios::binary;
    }
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : fileName_(fileName), writable_(mode == fmCreate || (mode & 0x3) != fmOpenRead) {
    file_.open(fileName, OpenModeFor(mode));
    if (!file_.is_open()) {
        const char* what = mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"";
        throw EFOpenError(what + fileName + "\"");
    }
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (position_ < 0 || count <= 0)
        return 0;
    file_.clear();
    // Seeking drops the read buffer, so sequential reads go on without one.
    if (position_ != filePosition_)
        file_.seekg(position_);
    file_.read(static_cast<char*>(buffer), count);
    const int64_t n = file_.gcount();
    position_ += n;
    filePosition_ = file_.good() ? position_ : -1;
    return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (!writable_ || position_ < 0 || count <= 0)
        return 0;
    file_.clear();
    filePosition_ = -1;
    file_.seekp(position_);
    file_.write(static_cast<const char*>(buffer), count);
    if (!file_)
        return 0;
    position_ += count;
    return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(position_, offset, origin, [this] { return Size(); });
    return position_;
}

int64_t TFileStream::Size() {
    file_.clear();
    file_.flush();
    std::error_code error;
    const auto size = std::filesystem::file_size(fileName_, error);
    return error ? 0 : static_cast<int64_t>(size);
}

void TFileStream::SetSize(int64_t newSize) {
    if (!writable_)
        throw EWriteError();
    file_.flush();
    filePosition_ = -1;
    std::filesystem::resize_file(fileName_, static_cast<uintmax_t>(std::max<int64_t>(newSize, 0)));
    position_ = std::min(position_, newSize);
}
