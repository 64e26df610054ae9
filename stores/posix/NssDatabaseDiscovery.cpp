#include "stores/posix/NssDatabaseDiscovery.h"

#include "platform/posix/FileDescriptor.h"
#include "platform/posix/UserFolders.h"
#include "runtime/Exception.h"
#include "runtime/Owned.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace platform::nss {
namespace {

namespace fs = std::filesystem;

// The folders that hold a profiles.ini, relative to the home, with the program whose they
// are: Firefox's old layout, and those of its snap and flatpak (inside a flatpak,
// XDG_CONFIG_HOME is its "config"); Thunderbird's, with its snap and flatpak. Firefox's new
// layout is under the user's config folder.
const std::pair<const char*, const char*> kProfileFolders[] = {
    {".mozilla/firefox", "Firefox"},
    {"snap/firefox/common/.mozilla/firefox", "Firefox snap"},
    {"snap/firefox/common/.config/mozilla/firefox", "Firefox snap"},
    {".var/app/org.mozilla.firefox/.mozilla/firefox", "Firefox flatpak"},
    {".var/app/org.mozilla.firefox/.config/mozilla/firefox", "Firefox flatpak"},
    {".var/app/org.mozilla.firefox/config/mozilla/firefox", "Firefox flatpak"},
    {".thunderbird", "Thunderbird"},
    {"snap/thunderbird/common/.thunderbird", "Thunderbird snap"},
    {".var/app/org.mozilla.Thunderbird/.thunderbird", "Thunderbird flatpak"},
};

// The shared databases of sandboxed browsers, relative to the home.
const std::pair<const char*, const char*> kSandboxedSharedDatabases[] = {
    {"snap/chromium/current/.pki/nssdb", "Chromium snap"},
    {".var/app/org.chromium.Chromium/.pki/nssdb", "Chromium flatpak"},
    {".var/app/com.google.Chrome/.pki/nssdb", "Chrome flatpak"},
};

// Far more than the sections of the most profiles anyone keeps: a larger profiles.ini is no
// browser's, and reading it whole would cost its size in memory.
constexpr size_t kLargestProfilesIni = 1 << 20;

fs::path Home() {
    if (auto home = HomeFolder())
        return *home;
    throw Exception("HOME names no folder for the NSS certificate databases");
}

// Whether the path is there, after links, as that type of file (S_IFREG, S_IFDIR).
bool IsOfType(const fs::path& path, mode_t type) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type;
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
    if (storeId.find('/') != std::string::npos || !IsOfType(store, S_IFREG))
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
    std::istringstream in(
        ReadRegularFile(AT_FDCWD, folder / "profiles.ini", kLargestProfilesIni).value_or(""));
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

// Chromium's database: ~/.pki/nssdb where that folder exists, else the one under the data
// folder, as Chromium chooses; both where both exist, since another program may read either.
// Where neither does, ~/.pki/nssdb is made, for the user alone as Chromium makes it, and the
// programs that share Chromium's database find it there. None is made beside an existing
// one: that would move Chromium away from the certificates the user has in the other.
std::vector<UserDatabase> ChromiumDatabases(const fs::path& home, bool make) {
    const fs::path legacy = home / ".pki" / "nssdb";
    std::vector<fs::path> folders{legacy};
    if (const auto dataHome = DataHome())
        folders.push_back(*dataHome / "pki" / "nssdb");
    std::vector<UserDatabase> found;
    for (const fs::path& folder : folders)
        if (IsOfType(folder, S_IFDIR))
            found.push_back({folder, "Chromium"});
    if (found.empty() && make) {
        mkdir(legacy.parent_path().c_str(), 0700);
        mkdir(legacy.c_str(), 0700);
        found.push_back({legacy, "Chromium"});
    }
    return found;
}

// A database in the sql format is there: a database with only the legacy cert8.db is one
// that NSS no longer writes.
bool HoldsDatabase(const fs::path& folder) {
    return IsOfType(folder / "cert9.db", S_IFREG);
}

} // namespace

std::vector<UserDatabase> FindUserDatabases(bool make) {
    const fs::path home = Home();
    std::vector<UserDatabase> candidates;
    for (const auto& [folder, program] : kSandboxedSharedDatabases)
        candidates.push_back({home / folder, program});
    std::vector<std::pair<fs::path, std::string>> profileFolders;
    if (const auto configHome = ConfigHome())
        profileFolders.emplace_back(*configHome / "mozilla" / "firefox", "Firefox");
    for (const auto& [folder, program] : kProfileFolders)
        profileFolders.emplace_back(home / folder, program);
    for (const auto& [folder, program] : profileFolders)
        for (const fs::path& profile : ListedProfiles(folder))
            candidates.push_back({profile, program + " profile"});

    std::vector<UserDatabase> databases;
    std::set<fs::path> seen;
    // By the canonical path, which NSS opens as it is: a ".." that climbs above "/" is no
    // path NSS can take.
    const auto add = [&](const UserDatabase& database) {
        std::error_code error;
        const fs::path canonical = fs::weakly_canonical(database.folder, error);
        if (seen.insert(canonical).second)
            databases.push_back({error ? database.folder : canonical, database.program});
    };
    for (const UserDatabase& shared : ChromiumDatabases(home, make))
        if (make || HoldsDatabase(shared.folder))
            add(shared);
    for (const UserDatabase& candidate : candidates)
        if (HoldsDatabase(candidate.folder))
            add(candidate);
    return databases;
}

} // namespace platform::nss
