#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class IFile;
}

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream with 64-bit positions. Read and Write transfer what they can and say how
// much; ReadBuffer and WriteBuffer insist on the exact count.
class TStream {
public:
    virtual ~TStream() = default;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual void SetSize(int64_t newSize) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from the source's position (the whole source when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);

protected:
    // Where a seek leads; positions are not clamped, reads outside the data get nothing.
    static int64_t SeekTarget(int64_t position, int64_t offset, TSeekOrigin origin,
                              const std::function<int64_t()>& size);
};

// Reads a memory block that someone else holds; positions may be set anywhere, reads
// outside the block deliver nothing.
class TCustomMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }
    const char* Memory() const { return memory_; }

protected:
    void SetPointer(const char* memory, int64_t size);
    int64_t position_ = 0;

private:
    const char* memory_ = nullptr;
    int64_t size_ = 0;
};

// A memory stream owning a growable buffer.
class TMemoryStream : public TCustomMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string initial);

    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t newSize) override;
    // Room for this many bytes without a reallocation, and not much more. A fresh block is
    // shown to prepare, when given, before the stream's bytes move into it.
    void Reserve(int64_t capacity, void (*prepare)(void* block, size_t size) = nullptr);
    int64_t Capacity() const { return static_cast<int64_t>(buffer_.capacity()); }
    void Clear();
    // The buffer itself, for writing into it in place after a SetSize.
    char* WritableMemory() { return buffer_.data(); }

protected:
    std::string& Buffer() { return buffer_; }

private:
    void Rebind() { SetPointer(buffer_.data(), static_cast<int64_t>(buffer_.size())); }
    std::string buffer_;
};

// A memory stream whose contents are a byte string.
class TStringStream : public TMemoryStream {
public:
    TStringStream() = default;
    explicit TStringStream(std::string initial) : TMemoryStream(std::move(initial)) {}

    std::string DataString() { return Buffer(); }
    // Hands the contents over without copying; the stream is empty afterwards.
    std::string TakeDataString();
};

// File open modes: the access part in the low nibble, the sharing part above it.
enum : uint16_t {
    fmCreate = 0xFFFF,
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
};

// A stream over a file, opened or created with an open mode. Sharing is advisory here and
// not enforced. The file is reached through its open handle only; small reads are served
// from a read-ahead block.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override;

    const std::string& FileName() const { return fileName_; }

private:
    bool InReadAhead(int64_t position) const;
    int64_t TakeFromReadAhead(char* out, int64_t count);
    void FillReadAhead();

    std::string fileName_;
    std::unique_ptr<platform::IFile> file_;
    bool writable_;
    int64_t position_ = 0;
    std::string readAhead_;
    int64_t readAheadStart_ = 0;
};
