#pragma once

#include <filesystem>
#include <string>

namespace platform {

// The PNG picture of a named icon in the user's icon themes: the default theme and the
// themes it inherits from, then "Adwaita" and "hicolor", each looked for in the user's own
// icon folders and then in those of $XDG_DATA_DIRS. Of the sizes a theme has, the one
// nearest to `size` from above is taken, else the largest. Empty when no theme has the icon.
std::filesystem::path ThemeIconFile(const std::string& name, int size);

} // namespace platform
