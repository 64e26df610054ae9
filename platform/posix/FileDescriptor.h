#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// A file descriptor that closes itself.
namespace platform {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() { Close(); }

    int Get() const { return fd_; }
    // The descriptor, no longer closed by this object.
    int Release() { return std::exchange(fd_, -1); }
    // 0, or the error of closing it.
    int Close();

private:
    int fd_;
};

// The whole contents of a regular file in that folder (AT_FDCWD for a path), or none when it
// is missing, unreadable, no regular file or longer than the limit. A FIFO or a device is never
// waited on.
std::optional<std::string> ReadRegularFile(int folder, const std::string& name,
                                           size_t limit = SIZE_MAX);

// Writes all of the contents: 0, or the error of the write that failed.
uint32_t WriteAll(int fd, const std::string& contents);

} // namespace platform
