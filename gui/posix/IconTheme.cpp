#include "gui/posix/IconTheme.h"

#include "platform/posix/UserFolders.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string Variable(const char* name, const std::string& otherwise) {
    const char* value = std::getenv(name);
    return value && *value ? value : otherwise;
}

std::vector<fs::path> IconFolders() {
    // Without a home or data folder of the user's, the system's themes still serve.
    std::vector<fs::path> folders;
    if (const auto home = HomeFolder())
        folders.push_back(*home / ".icons");
    if (const auto dataHome = DataHome())
        folders.push_back(*dataHome / "icons");
    std::istringstream dataDirs(Variable("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
    for (std::string dir; std::getline(dataDirs, dir, ':');)
        if (!dir.empty())
            folders.push_back(fs::path(dir) / "icons");
    return folders;
}

// The themes a theme names after "Inherits=" in the first index.theme found for it.
std::vector<std::string> Parents(const std::vector<fs::path>& folders, const std::string& theme) {
    for (const fs::path& folder : folders) {
        std::ifstream index(folder / theme / "index.theme");
        if (!index)
            continue;
        std::vector<std::string> parents;
        for (std::string line; std::getline(index, line);)
            if (line.starts_with("Inherits=")) {
                std::istringstream names(line.substr(9));
                for (std::string name; std::getline(names, name, ',');)
                    parents.push_back(name);
            }
        return parents;
    }
    return {};
}

// A theme, then the themes it inherits from, each once.
void AddWithParents(const std::vector<fs::path>& folders, const std::string& theme,
                    std::vector<std::string>& order, std::set<std::string>& seen) {
    if (theme.empty() || !seen.insert(theme).second)
        return;
    order.push_back(theme);
    for (const std::string& parent : Parents(folders, theme))
        AddWithParents(folders, parent, order, seen);
}

// A theme's pictures sit in "<size>x<size>/<context>/"; only fixed sizes count, and a
// picture of the size asked for or the nearest above it beats any smaller one.
bool Better(int candidate, int best, int size) {
    if (best == 0)
        return true;
    if ((candidate >= size) != (best >= size))
        return candidate >= size;
    return candidate >= size ? candidate < best : candidate > best;
}

fs::path InTheme(const fs::path& theme, const std::string& fileName, int size) {
    fs::path found;
    int foundSize = 0;
    std::error_code error;
    for (const auto& sizeFolder : fs::directory_iterator(theme, error)) {
        const int pictureSize = std::atoi(sizeFolder.path().filename().c_str());
        if (pictureSize <= 0 || !Better(pictureSize, foundSize, size))
            continue;
        for (const auto& context : fs::directory_iterator(sizeFolder.path(), error))
            if (fs::is_regular_file(context.path() / fileName, error)) {
                found = context.path() / fileName;
                foundSize = pictureSize;
                break;
            }
    }
    return found;
}

} // namespace

fs::path ThemeIconFile(const std::string& name, int size) {
    const std::vector<fs::path> folders = IconFolders();
    std::vector<std::string> themes;
    std::set<std::string> seen;
    for (const char* theme : {"default", "Adwaita", "hicolor"})
        AddWithParents(folders, theme, themes, seen);
    for (const std::string& theme : themes)
        for (const fs::path& folder : folders)
            if (fs::path found = InTheme(folder / theme, name + ".png", size); !found.empty())
                return found;
    return {};
}

} // namespace platform
