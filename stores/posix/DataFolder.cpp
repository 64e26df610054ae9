#include "stores/posix/DataFolder.h"

#include "platform/posix/UserFolders.h"
#include "runtime/Exception.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

fs::path StoresHome() {
    if (auto dataHome = DataHome())
        return *dataHome;
    throw Exception("Neither XDG_DATA_HOME nor HOME names a folder for the certificate stores");
}

} // namespace

FileDescriptor OpenOwnFolder(const std::vector<std::string>& path, uint32_t& error, bool make) {
    const fs::path dataHome = StoresHome();
    std::error_code made;
    if (make)
        fs::create_directories(dataHome, made);
    FileDescriptor folder(open(dataHome.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    error = folder.Get() >= 0 ? 0 : made ? static_cast<uint32_t>(made.value()) : errno;
    for (const std::string& part : path) {
        if (error != 0)
            return FileDescriptor();
        const int makeError = !make || mkdirat(folder.Get(), part.c_str(), 0755) == 0 ? 0 : errno;
        if (makeError != 0 && makeError != EEXIST) {
            error = static_cast<uint32_t>(makeError);
            return FileDescriptor();
        }
        folder = FileDescriptor(
            openat(folder.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        error = folder.Get() < 0 ? errno : 0;
    }
    return error != 0 ? FileDescriptor() : std::move(folder);
}

fs::path OwnFolderPath(const std::vector<std::string>& path) {
    fs::path folder = StoresHome();
    for (const std::string& part : path)
        folder /= part;
    return folder;
}

} // namespace platform
