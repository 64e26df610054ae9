#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class TFileAccess { Read, ReadWrite, Create };

// An open file, closed when the object goes. Every call names its own offset, so that the
// file is reached through the handle alone: neither the working folder nor the name matter
// once it is open.
class IFile {
public:
    virtual ~IFile() = default;
    // Transfer what they can; -1 on a failure of the system.
    virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count) = 0;
    virtual int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) = 0;
    virtual int64_t Size() = 0;
    virtual bool Resize(int64_t size) = 0;
};

// Null when the file cannot be opened (or, with Create, created or emptied).
std::unique_ptr<IFile> OpenFile(const std::string& name, TFileAccess access);

} // namespace platform
