#include "platform/File.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

OVERLAPPED At(int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return where;
}

DWORD Piece(int64_t left) {
    return static_cast<DWORD>(std::min<int64_t>(left, 1 << 30));
}

class Win32File : public IFile {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}
    ~Win32File() override { CloseHandle(handle_); }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
        int64_t done = 0;
        while (done < count) {
            OVERLAPPED where = At(offset + done);
            DWORD n = 0;
            if (!ReadFile(handle_, static_cast<char*>(buffer) + done, Piece(count - done), &n,
                          &where))
                return GetLastError() == ERROR_HANDLE_EOF ? done : (done > 0 ? done : -1);
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

    int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
        int64_t done = 0;
        while (done < count) {
            OVERLAPPED where = At(offset + done);
            DWORD n = 0;
            if (!WriteFile(handle_, static_cast<const char*>(buffer) + done, Piece(count - done),
                           &n, &where))
                return done > 0 ? done : -1;
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

    int64_t Size() override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(handle_, &size) ? size.QuadPart : -1;
    }

    bool Resize(int64_t size) override {
        LARGE_INTEGER target{};
        target.QuadPart = size;
        return SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
    }

private:
    HANDLE handle_;
};

} // namespace

std::unique_ptr<IFile> OpenFile(const std::string& name, TFileAccess access) {
    const DWORD rights = access == TFileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = access == TFileAccess::Create ? CREATE_ALWAYS : OPEN_EXISTING;
    const HANDLE handle =
        CreateFileA(name.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32File>(handle);
}

} // namespace platform
