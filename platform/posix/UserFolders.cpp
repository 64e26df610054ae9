#include "platform/posix/UserFolders.h"

#include <cstdlib>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value && *value == '/')
        return fs::path(value);
    return std::nullopt;
}

std::optional<fs::path> XdgFolder(const char* variable, const char* underHome) {
    if (auto folder = AbsoluteVariable(variable))
        return folder;
    if (auto home = HomeFolder())
        return *home / underHome;
    return std::nullopt;
}

} // namespace

std::optional<fs::path> HomeFolder() {
    return AbsoluteVariable("HOME");
}

std::optional<fs::path> DataHome() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::optional<fs::path> ConfigHome() {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

} // namespace platform
