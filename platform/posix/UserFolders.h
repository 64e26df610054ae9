#pragma once

#include <filesystem>
#include <optional>

// The user's folders as the environment names them, for every unit that looks for the user's
// files: a variable counts only when it holds an absolute path, since a relative one would put
// the user's files wherever the program happens to be started.
namespace platform {

// $HOME.
std::optional<std::filesystem::path> HomeFolder();
// $XDG_DATA_HOME, else ~/.local/share.
std::optional<std::filesystem::path> DataHome();
// $XDG_CONFIG_HOME, else ~/.config.
std::optional<std::filesystem::path> ConfigHome();

} // namespace platform
