#pragma once

#include <cstdint>
#include <functional>
#include <utility>

// A handle of the store service, released by its owner on every path out of a run.
class TStoreHandle {
public:
    TStoreHandle(uintptr_t handle, std::function<void(uintptr_t)> release)
        : handle_(handle), release_(std::move(release)) {}
    TStoreHandle(const TStoreHandle&) = delete;
    TStoreHandle& operator=(const TStoreHandle&) = delete;
    ~TStoreHandle() { Release(); }

    uintptr_t Get() const { return handle_; }
    void Release() {
        if (handle_)
            release_(std::exchange(handle_, 0));
    }

private:
    uintptr_t handle_;
    std::function<void(uintptr_t)> release_;
};
