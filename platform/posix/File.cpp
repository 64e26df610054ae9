#include "platform/File.h"

#include "platform/posix/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class PosixFile : public IFile {
public:
    explicit PosixFile(FileDescriptor fd) : fd_(std::move(fd)) {}

    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
        return Transfer(offset, count, [&](int64_t done, int64_t at) {
            return pread(fd_.Get(), static_cast<char*>(buffer) + done, Piece(count - done), at);
        });
    }

    int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
        return Transfer(offset, count, [&](int64_t done, int64_t at) {
            return pwrite(fd_.Get(), static_cast<const char*>(buffer) + done, Piece(count - done),
                          at);
        });
    }

    int64_t Size() override {
        struct stat status {};
        return fstat(fd_.Get(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
    }

    bool Resize(int64_t size) override {
        return ftruncate(fd_.Get(), static_cast<off_t>(size)) == 0;
    }

private:
    static size_t Piece(int64_t left) {
        return static_cast<size_t>(std::min<int64_t>(left, 1 << 30));
    }

    // Repeats a partial transfer until the count is done or the file has no more.
    template <class Step> static int64_t Transfer(int64_t offset, int64_t count, Step step) {
        int64_t done = 0;
        while (done < count) {
            const ssize_t n = step(done, offset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return done > 0 ? done : -1;
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

    FileDescriptor fd_;
};

int OpenFlags(TFileAccess access) {
    switch (access) {
    case TFileAccess::Read:
        return O_RDONLY;
    case TFileAccess::ReadWrite:
        return O_RDWR;
    case TFileAccess::Create:
        return O_RDWR | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

} // namespace

std::unique_ptr<IFile> OpenFile(const std::string& name, TFileAccess access) {
    FileDescriptor fd(open(name.c_str(), OpenFlags(access) | O_CLOEXEC, 0666));
    if (fd.Get() < 0)
        return nullptr;
    struct stat status {};
    // A folder opens for reading but is no file to read.
    if (fstat(fd.Get(), &status) != 0 || S_ISDIR(status.st_mode))
        return nullptr;
    return std::make_unique<PosixFile>(std::move(fd));
}

} // namespace platform
