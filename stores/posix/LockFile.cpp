#include "stores/posix/LockFile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace platform {
namespace {

// How long a change waits for another installer's change.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(20);

} // namespace

LockFile::Held::~Held() {
    if (fd_ >= 0)
        flock(fd_, LOCK_UN);
}

uint32_t LockFile::Acquire(Held& held) {
    if (givenUp_)
        return kAnotherInstallerAtWork;
    if (file_.Get() < 0) {
        file_ = FileDescriptor(
            openat(folder_, name_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file_.Get() < 0)
            return static_cast<uint32_t>(errno);
    }
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (flock(file_.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return static_cast<uint32_t>(errno);
        if (std::chrono::steady_clock::now() >= deadline) {
            givenUp_ = true;
            return kAnotherInstallerAtWork;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
    held = Held(file_.Get());
    return 0;
}

} // namespace platform
