#include "platform/posix/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int FileDescriptor::Close() {
    if (fd_ < 0)
        return 0;
    return close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
}

std::optional<std::string> ReadRegularFile(int folder, const std::string& name, size_t limit) {
    // Opening a FIFO without O_NONBLOCK waits for a writer.
    const FileDescriptor file(openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.Get() < 0 || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) > limit)
        return std::nullopt;
    std::string contents;
    char buffer[65536];
    // A file that grows while it is read is held to the limit as well.
    while (contents.size() <= limit) {
        const ssize_t n = read(file.Get(), buffer, sizeof buffer);
        if (n == 0)
            return contents;
        if (n < 0 && errno != EINTR)
            return std::nullopt;
        contents.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    return std::nullopt;
}

uint32_t WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno != EINTR)
            return static_cast<uint32_t>(errno);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return 0;
}

} // namespace platform
