#include "platform/posix/NssDatabaseDiscovery.h"

#include "platform/posix/FileDescriptor.h"
#include "runtime/Exception.h"
#include "runtime/Owned.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace platform::nss {
namespace {

namespace fs = std::filesystem;

// The folders that hold a profiles.ini, relative to the home: Firefox's old and new (XDG)
// layouts, and those of its snap and flatpak (inside a flatpak, XDG_CONFIG_HOME is its
// "config"); Thunderbird's, with its snap and flatpak.
const char* const kProfileFolders[] = {
    ".mozilla/firefox",
    "snap/firefox/common/.mozilla/firefox",
    "snap/firefox/common/.config/mozilla/firefox",
    ".var/app/org.mozilla.firefox/.mozilla/firefox",
    ".var/app/org.mozilla.firefox/.config/mozilla/firefox",
    ".var/app/org.mozilla.firefox/config/mozilla/firefox",
    ".thunderbird",
    "snap/thunderbird/common/.thunderbird",
    ".var/app/org.mozilla.Thunderbird/.thunderbird",
};

// The shared databases of sandboxed browsers, relative to the home.
const char* const kSandboxedSharedDatabases[] = {
    "snap/chromium/current/.pki/nssdb",
    ".var/app/org.chromium.Chromium/.pki/nssdb",
    ".var/app/com.google.Chrome/.pki/nssdb",
};

fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (!home || *home != '/')
        throw Exception("HOME names no folder for the NSS certificate databases");
    return home;
}

// Firefox from its 147th release keeps new profiles under $XDG_CONFIG_HOME.
fs::path ConfigHome(const fs::path& home) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    return xdg && *xdg == '/' ? fs::path(xdg) : home / ".config";
}

// A profile's path as profiles.ini or a group gives it: taken from the profiles folder when
// relative, else only when absolute; the working folder is no profile's.
void AddProfile(std::vector<fs::path>& profiles, const fs::path& folder, const std::string& path,
                bool relative) {
    if (relative && !path.empty())
        profiles.push_back(folder / path);
    else if (fs::path(path).is_absolute())
        profiles.push_back(path);
}

using Database = Owned<sqlite3, sqlite3_close>;
using Statement = Owned<sqlite3_stmt, sqlite3_finalize>;

// The members of a profile group: the rows of its store's table Profiles, whose paths are
// relative to the profiles folder. A store that is missing, no regular file or not of that
// shape holds none.
void AddGroupMembers(std::vector<fs::path>& profiles, const fs::path& folder,
                     const std::string& storeId) {
    const fs::path store = folder / "Profile Groups" / (storeId + ".sqlite");
    struct stat info {};
    if (storeId.find('/') != std::string::npos || stat(store.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode))
        return;
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(store.c_str(), &opened,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const Database database(opened);
    if (result != SQLITE_OK)
        return;
    // A running Firefox may hold the store for a moment.
    sqlite3_busy_timeout(database.get(), 1000);
    sqlite3_stmt* prepared = nullptr;
    sqlite3_prepare_v2(database.get(), "SELECT path FROM Profiles", -1, &prepared, nullptr);
    const Statement statement(prepared);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
        if (const auto* path = sqlite3_column_text(statement.get(), 0))
            AddProfile(profiles, folder, reinterpret_cast<const char*>(path), true);
}

// The profile folders that a profiles.ini lists: each section's Path=, taken from the ini's
// own folder when the section says IsRelative=1, and the members of the group that a section's
// StoreID= names. Sections without a Path= ([General], the [Install...] sections with their
// Default=) list none.
std::vector<fs::path> ListedProfiles(const fs::path& folder) {
    std::vector<fs::path> profiles;
    std::istringstream in(ReadRegularFile(AT_FDCWD, folder / "profiles.ini").value_or(""));
    std::string line, path, storeId;
    bool relative = false;
    const auto endSection = [&] {
        AddProfile(profiles, folder, path, relative);
        if (!storeId.empty())
            AddGroupMembers(profiles, folder, storeId);
        path.clear();
        storeId.clear();
        relative = false;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('['))
            endSection();
        else if (line.starts_with("Path="))
            path = line.substr(5);
        else if (line.starts_with("StoreID="))
            storeId = line.substr(8);
        else if (line == "IsRelative=1")
            relative = true;
    }
    endSection();
    return profiles;
}

// The shared database's folder, made where missing and, as Chromium makes it, for the user
// alone.
fs::path SharedDatabase(const fs::path& home) {
    const fs::path folder = home / ".pki" / "nssdb";
    mkdir(folder.parent_path().c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    return folder;
}

// A database in the sql format is there: a database with only the legacy cert8.db is one
// that NSS no longer writes.
bool HoldsDatabase(const fs::path& folder) {
    struct stat info {};
    return stat((folder / "cert9.db").c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::vector<fs::path> FindUserDatabases() {
    const fs::path home = HomeFolder();
    std::vector<fs::path> candidates;
    for (const char* folder : kSandboxedSharedDatabases)
        candidates.push_back(home / folder);
    std::vector<fs::path> profileFolders{ConfigHome(home) / "mozilla" / "firefox"};
    for (const char* folder : kProfileFolders)
        profileFolders.push_back(home / folder);
    for (const fs::path& folder : profileFolders)
        for (const fs::path& profile : ListedProfiles(folder))
            candidates.push_back(profile);

    std::vector<fs::path> databases{SharedDatabase(home)};
    std::set<fs::path> seen;
    std::error_code error;
    seen.insert(fs::weakly_canonical(databases.front(), error));
    for (const fs::path& candidate : candidates)
        if (HoldsDatabase(candidate) && seen.insert(fs::weakly_canonical(candidate, error)).second)
            databases.push_back(candidate);
    return databases;
}

} // namespace platform::nss
