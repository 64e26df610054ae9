#include "InstallerRun.h"

#include "TestTools.h"

#include <atomic>
#include <cstdlib>
#include <regex>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace test {

InstallerRun RunInstaller(const fs::path& data, const std::string& program,
                          const std::string& prefix, const std::string& options) {
    // Runs may share a data folder at the same time: each prints into a file of its own.
    static std::atomic<int> runs{0};
    const fs::path output = data / ("out-" + std::to_string(++runs) + ".txt");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + data.string() +
                                "' XDG_DATA_HOME='" + data.string() + "' " + prefix + " '" +
                                program + "' " + options + " > '" + output.string() +
                                "' 2>/dev/null";
    const int raw = std::system(command.c_str());
    InstallerRun run;
    run.status = WIFEXITED(raw) && WEXITSTATUS(raw) < 128 ? WEXITSTATUS(raw) : -1;
    run.output = ReadFile(output);
    return run;
}

namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

} // namespace

ThrowAwayUser::ThrowAwayUser(const fs::path& folder)
    : home_(Variable("HOME")), dataHome_(Variable("XDG_DATA_HOME")) {
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
}

ThrowAwayUser::~ThrowAwayUser() {
    Restore("HOME", home_);
    Restore("XDG_DATA_HOME", dataHome_);
}

StoreFile KindOfStoreFile(const std::string& fileName) {
    static const std::regex certificate("[0-9a-f]{8}\\.[0-9]+"), crl("[0-9a-f]{8}\\.r[0-9]+");
    return std::regex_match(fileName, certificate) ? StoreFile::Certificate
           : std::regex_match(fileName, crl)       ? StoreFile::Crl
                                                   : StoreFile::Other;
}

StoreCount CountStore(const fs::path& store) {
    StoreCount count;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(store, error)) {
        const StoreFile kind = KindOfStoreFile(entry.path().filename().string());
        count.certificates += kind == StoreFile::Certificate;
        count.crls += kind == StoreFile::Crl;
    }
    return count;
}

} // namespace test
