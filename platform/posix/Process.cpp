#include "Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

extern char** environ;

namespace platform {
namespace {

// Where the distributions keep the programs an administrator runs.
constexpr std::array kProgramFolders{"/usr/local/sbin", "/usr/local/bin", "/usr/sbin",
                                     "/usr/bin",        "/sbin",          "/bin"};

} // namespace

std::string FindProgram(const std::string& name) {
    for (const char* folder : kProgramFolders) {
        const std::string path = std::string(folder) + "/" + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return "";
}

int RunProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = 0;
    const int error = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace platform
