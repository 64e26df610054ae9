#pragma once

#include "platform/posix/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <string>

// A lock file that installers running at the same time share: whoever holds it changes what
// it guards, the others wait. It is made and opened at the first need only, so that a run with
// nothing to change needs neither the lock nor a place it may write.
namespace platform {

// The error of a wait that ran out: another installer is at work on the same place.
constexpr uint32_t kAnotherInstallerAtWork = EWOULDBLOCK;

class LockFile {
public:
    // The lock file `name` in the folder; the folder descriptor must outlive the object.
    LockFile(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}

    // Held from Acquire until the object goes.
    class Held {
    public:
        explicit Held(int fd = -1) : fd_(fd) {}
        Held(Held&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
        Held& operator=(Held&& other) noexcept {
            std::swap(fd_, other.fd_);
            return *this;
        }
        ~Held();

    private:
        int fd_;
    };

    // Waits a few seconds at most for another holder; 0, or the error that kept the lock
    // away. Once a wait has run out, later calls fail at once: a run waits seconds at most,
    // not seconds for every certificate.
    uint32_t Acquire(Held& held);

private:
    int folder_;
    std::string name_;
    FileDescriptor file_;
    bool givenUp_ = false;
};

} // namespace platform
