// The installer program as a user runs it, on the real bundle and the real stores in a
// temporary data folder, and the bundle as it is committed.
#include "InstallerRun.h"
#include "TestTools.h"
#include "archive/ZADirManager.h"
#include "archive/ZipArchiver.h"
#include "installer/uCrypt.h"
#include "platform/CodePages.h"
#include "stores/CertStore.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

using namespace test;
namespace fs = std::filesystem;

namespace {

const std::string kDone =
    "[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] Установка произведена !";

std::string Bundle() {
    return ReadFile(fs::path(RESOURCES_DIR) / "roots.zip");
}

class Installer : public ::testing::Test {
protected:
    fs::path Stores() const { return StoresIn(data_.Path()); }
    // Runs a program variant on the console; returns what it printed, sets the exit status.
    std::string Install(const std::string& program, int& status) {
        const InstallerRun run = RunInstaller(data_.Path(), program);
        status = run.status;
        return run.output;
    }
    TempDir data_;
};

} // namespace

TEST_F(Installer, PlacesTheBundleIntoTheThreeStores) {
    int status = -1;
    EXPECT_EQ(Install(CERTINSTALL_PATH, status), kDone + "\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CountStore(Stores() / "ROOT"), (StoreCount{3, 6}));
    EXPECT_EQ(CountStore(Stores() / "CA"), (StoreCount{14, 6}));
    EXPECT_EQ(CountStore(Stores() / "AddressBook"), (StoreCount{0, 6}));

    // The stores are OpenSSL hashed folders: the end entities verify against them, CRLs too.
    TUnZip unzip;
    unzip.LoadFromString(Bundle(), false);
    const std::string untrusted = (data_.Path() / "untrusted.pem").string();
    RunCommand("cat '" + (Stores() / "CA").string() + "'/*.[0-9]* > '" + untrusted + "'");
    int verified = 0;
    for (int i = 0; i < unzip.Count(); ++i) {
        std::string name, contents;
        unzip.GetEntry(i, name, contents);
        if (name.rfind("AddressBook\\", 0) != 0 || name.substr(name.size() - 4) != ".cer")
            continue;
        const std::string der = (data_.Path() / "cert.der").string();
        WriteFile(der, contents);
        const std::string output = RunCommand(
            "openssl x509 -inform DER -in '" + der + "' -out '" + der +
            ".pem' && openssl verify "
            "-CApath '" +
            (Stores() / "ROOT").string() + "' -untrusted '" + untrusted + "' '" + der + ".pem'");
        EXPECT_NE(output.find(": OK"), std::string::npos) << name << ": " << output;
        ++verified;
    }
    EXPECT_EQ(verified, 7);

    EXPECT_EQ(Install(CERTINSTALL_PATH, status), kDone + "\n"); // a second run adds nothing
    EXPECT_EQ(CountStore(Stores() / "CA"), (StoreCount{14, 6}));
}

// A look or a removal in a home that never had the stores makes nothing there. After an
// installation the look finds everything in place; after a removal NSS's own tool lists none of
// the bundle, and a second removal finds nothing to do.
TEST_F(Installer, StatusAndRemovalOnTheRealStores) {
    const auto made = [this] {
        std::set<fs::path> paths;
        for (const auto& entry : fs::recursive_directory_iterator(data_.Path()))
            if (!entry.path().filename().string().starts_with("out-"))
                paths.insert(entry.path());
        return paths;
    };
    const auto run = [this](const std::string& options) {
        return RunInstaller(data_.Path(), CERTINSTALL_PATH, "", options);
    };
    const InstallerRun before = run("--status");
    EXPECT_EQ(before.status, 1);
    EXPECT_EQ(before.output.find("present"), std::string::npos) << before.output;
    EXPECT_EQ(run("--remove").status, 0);
    EXPECT_EQ(made(), std::set<fs::path>{});

    EXPECT_EQ(run("--quiet").status, 0);
    const InstallerRun installed = run("--status");
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.output.find("missing"), std::string::npos) << installed.output;
    EXPECT_NE(installed.output.find("ROOT\t" + (data_ / ".pki/nssdb").string()), std::string::npos)
        << installed.output;

    EXPECT_EQ(run("--remove").status, 0);
    const std::string database = " -d 'sql:" + (data_ / ".pki/nssdb").string() + "'";
    // Past the header lines, one line a certificate; one line ending in "CRL" and spaces a CRL.
    EXPECT_EQ(RunCommand("certutil -L" + database + " | tail -n +5"), "");
    EXPECT_EQ(RunCommand("crlutil -L" + database + " | grep -c ' CRL *$' || true"), "0\n");
    for (const char* store : {"ROOT", "CA", "AddressBook"})
        EXPECT_EQ(CountStore(Stores() / store), (StoreCount{0, 0})) << store;
    const InstallerRun removed = run("--status");
    EXPECT_EQ(removed.status, 1);
    EXPECT_EQ(removed.output.find("present"), std::string::npos) << removed.output;
    EXPECT_EQ(run("--remove").status, 0);
}

TEST_F(Installer, MissingAndEmptyBundles) {
    for (const char* program : {CERTINSTALL_NOBUNDLE_PATH, CERTINSTALL_EMPTYBUNDLE_PATH}) {
        int status = -1;
        EXPECT_EQ(Install(program, status),
                  "[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] Не найдена информация о "
                  "корневых сертификатах.\n");
        EXPECT_EQ(status, 2); // the bundle's error, not a store's
        EXPECT_FALSE(fs::exists(Stores()));
    }
}

namespace {

// A display number that no X server on this machine holds: an X server keeps a lock file
// for its number while it runs.
std::string DeadDisplay() {
    int number = 900;
    while (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
           fs::exists("/tmp/.X11-unix/X" + std::to_string(number)))
        ++number;
    return ":" + std::to_string(number);
}

// Where no X server answers, the run goes on as a console run.
class WithoutAnXServer : public Installer, public ::testing::WithParamInterface<std::string> {};

} // namespace

TEST_P(WithoutAnXServer, InstallsOnTheConsole) {
    const InstallerRun run = RunInstaller(data_.Path(), CERTINSTALL_PATH, "env " + GetParam());
    EXPECT_EQ(run.output, kDone + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(CountStore(Stores() / "ROOT"), (StoreCount{3, 6}));
    EXPECT_EQ(CountStore(Stores() / "CA"), (StoreCount{14, 6}));
}

// A Wayland desktop without its X server; a display inherited from a shell that has gone.
INSTANTIATE_TEST_SUITE_P(Sessions, WithoutAnXServer,
                         ::testing::Values("WAYLAND_DISPLAY=wayland-0",
                                           "DISPLAY=" + DeadDisplay()));

TEST_F(Installer, AStoreThatCannotBeWrittenFailsEachCertificateOnce) {
    fs::create_directories(Stores());
    WriteFile(Stores() / "CA", "not a folder");
    int status = -1;
    const std::string output = Install(CERTINSTALL_PATH, status);
    EXPECT_EQ(status, 1); // a script sees that certificates failed
    std::istringstream lines(output);
    std::string line;
    int errors = 0;
    while (std::getline(lines, line))
        errors += line.rfind("[Ошибка] Ошибка Win32.  Код: ", 0) == 0;
    EXPECT_EQ(errors, 14) << output;
    EXPECT_NE(output.find("Код: 20.\nNot a directory\n"), std::string::npos) << output;
    EXPECT_NE(output.find(kDone), std::string::npos);
    EXPECT_EQ(CountStore(Stores() / "ROOT"), (StoreCount{3, 6}));
}

TEST_F(Installer, ReadOnlyStoreFolder) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    fs::create_directories(Stores() / "ROOT");
    fs::permissions(Stores() / "ROOT", fs::perms::owner_read | fs::perms::owner_exec);
    int status = -1;
    const std::string output = Install(CERTINSTALL_PATH, status);
    fs::permissions(Stores() / "ROOT", fs::perms::owner_all);
    EXPECT_NE(output.find("[Ошибка] Ошибка Win32.  Код: 13.\nPermission denied"), std::string::npos)
        << output;
}

TEST_F(Installer, StoreFilesAreReadableByEveryone) {
    int status = -1;
    Install(CERTINSTALL_PATH, status);
    const mode_t mask = umask(0);
    umask(mask);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Stores()))
        if (KindOfStoreFile(entry.path().filename().string()) != StoreFile::Other) {
            struct stat info {};
            ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0644 & ~mask) << entry.path();
            ++files;
        }
    EXPECT_EQ(files, 3 + 14 + 3 * 6);
}

TEST_F(Installer, WithoutADataFolderNothingIsWrittenAnywhere) {
    TempDir work;
    const InstallerRun run =
        RunInstaller(data_.Path(), CERTINSTALL_PATH,
                     "sh -c 'cd \"$0\" && exec env -u XDG_DATA_HOME -u HOME \"$@\"' '" +
                         work.Path().string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.rfind("[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] ", 0), 0u)
        << run.output;
    EXPECT_NE(run.output.find("HOME"), std::string::npos) << run.output;
    EXPECT_TRUE(fs::is_empty(work.Path()));
    EXPECT_FALSE(fs::exists(Stores()));
}

namespace {

// The subject hashes of the bundle's certificates and the issuer hashes of its CRLs, as
// OpenSSL names the files of a hashed folder.
std::set<std::string> HashesOfTheBundle(const fs::path& scratch) {
    TUnZip unzip;
    unzip.LoadFromString(Bundle(), false);
    std::set<std::string> hashes;
    for (int i = 0; i < unzip.Count(); ++i) {
        std::string name, contents;
        unzip.GetEntry(i, name, contents);
        WriteFile(scratch / "entry.der", contents);
        const std::string tool = name.substr(name.size() - 4) == ".crl" ? "crl" : "x509";
        std::string hash = RunCommand("openssl " + tool + " -inform DER -noout -hash -in '" +
                                      (scratch / "entry.der").string() + "'");
        hashes.insert(hash.substr(0, hash.find('\n')));
    }
    return hashes;
}

class StrayStoreFile : public Installer, public ::testing::WithParamInterface<std::string> {};

} // namespace

// Files of a store whose names look like a store file's but whose numbers cannot be read
// are passed over; the installation runs as if they were not there.
TEST_P(StrayStoreFile, IsPassedOver) {
    std::vector<fs::path> strays;
    for (const std::string& hash : HashesOfTheBundle(data_.Path()))
        for (const char* store : {"AddressBook", "CA", "ROOT"}) {
            fs::create_directories(Stores() / store);
            strays.push_back(Stores() / store / (hash + GetParam()));
            WriteFile(strays.back(), "");
        }
    int status = -1;
    EXPECT_EQ(Install(CERTINSTALL_PATH, status), kDone + "\n");
    EXPECT_EQ(status, 0);
    for (const fs::path& stray : strays)
        EXPECT_TRUE(fs::remove(stray)) << stray;
    EXPECT_EQ(CountStore(Stores() / "ROOT"), (StoreCount{3, 6}));
    EXPECT_EQ(CountStore(Stores() / "CA"), (StoreCount{14, 6}));
    EXPECT_EQ(CountStore(Stores() / "AddressBook"), (StoreCount{0, 6}));
    // No two of the bundle's files share a hash, so each is the first that OpenSSL looks for.
    for (const auto& entry : fs::recursive_directory_iterator(Stores()))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            EXPECT_TRUE(entry.path().extension() == ".0" || entry.path().extension() == ".r0")
                << entry.path();
        }
}

INSTANTIATE_TEST_SUITE_P(Numbers, StrayStoreFile,
                         ::testing::Values(".r99999999999", ".99999999999", ".2147483648",
                                           ".r" + std::string(40, '9'), ".00", ".r00"));

// A FIFO named like a store file is passed over like any stray name: nothing waits for a
// writer that never comes, and nothing is written over it.
TEST_F(Installer, AFifoNamedLikeAStoreFileIsPassedOver) {
    std::vector<fs::path> fifos;
    for (const std::string& hash : HashesOfTheBundle(data_.Path())) {
        fs::create_directories(Stores() / "CA");
        fifos.push_back(Stores() / "CA" / (hash + ".0"));
        ASSERT_EQ(mkfifo(fifos.back().c_str(), 0644), 0);
    }
    const InstallerRun run = RunInstaller(data_.Path(), CERTINSTALL_PATH, "timeout 60");
    EXPECT_EQ(run.output, kDone + "\n");
    EXPECT_EQ(run.status, 0);
    for (const fs::path& fifo : fifos)
        EXPECT_TRUE(fs::is_fifo(fifo)) << fifo;
    EXPECT_EQ(CountStore(Stores() / "CA"), (StoreCount{static_cast<int>(fifos.size()) + 14, 6}));
}

// Read-only stores: those that hold the whole bundle give a silent run, as any second run;
// empty ones fail each certificate with the real cause, not with what it left missing.
TEST_F(Installer, ReadOnlyStores) {
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "a read-only mount needs a namespace of its own";
    const std::string readOnly =
        "unshare -rm sh -c 'mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"' '" +
        data_.Path().string() + "'";
    // The data folder itself is to be made in the home: ~/.local/share.
    const InstallerRun empty =
        RunInstaller(data_.Path(), CERTINSTALL_PATH, readOnly + " env -u XDG_DATA_HOME");
    EXPECT_EQ(
        Occurrences(empty.output, "[Ошибка] Ошибка Win32.  Код: 30.\nRead-only file system\n"), 14)
        << empty.output;
    EXPECT_EQ(empty.status, 1);

    int status = -1;
    EXPECT_EQ(Install(CERTINSTALL_PATH, status), kDone + "\n");
    const InstallerRun again = RunInstaller(data_.Path(), CERTINSTALL_PATH, readOnly);
    EXPECT_EQ(again.output, kDone + "\n");
    EXPECT_EQ(again.status, 0);
}

namespace {
class LinkedStorePath : public Installer, public ::testing::WithParamInterface<std::string> {};
} // namespace

// A symbolic link where the installer keeps its own folders or the lock: nothing is written
// where it points, and the adds through it are reported as failed.
TEST_P(LinkedStorePath, IsNotFollowed) {
    const fs::path elsewhere = data_ / "elsewhere", link = data_ / GetParam();
    fs::create_directories(elsewhere);
    fs::create_directories(link.parent_path());
    fs::create_symlink(link.filename() == ".lock" ? elsewhere / "lock" : elsewhere, link);
    int status = -1;
    const std::string output = Install(CERTINSTALL_PATH, status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("[Ошибка] Ошибка Win32.  Код: "), std::string::npos) << output;
    EXPECT_NE(output.find(kDone), std::string::npos) << output;
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

INSTANTIATE_TEST_SUITE_P(Places, LinkedStorePath,
                         ::testing::Values("certinstall", "certinstall/stores",
                                           "certinstall/stores/ROOT",
                                           "certinstall/stores/ROOT/.lock"));

TEST(Bundle, LayoutAsShipped) {
    const std::string bytes = Bundle();
    TReadMemoryStream stream;
    stream.AttachMemory(bytes.data(), static_cast<int64_t>(bytes.size()));
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(stream, false);
    const TZADirArray& items = archiver.DirManager()->Items;
    ASSERT_EQ(items.Count(), 23);
    EXPECT_EQ(archiver.FileCount(), 20);
    EXPECT_TRUE(archiver.DirManager()->ArchiveComment.empty());
    EXPECT_FALSE(archiver.DirManager()->IsZip64);
    std::vector<std::string> folders;
    std::map<std::string, std::pair<int, int>> perFolder; // certificates, CRLs
    int cyrillicNames = 0;
    for (int i = 0; i < items.Count(); ++i) {
        const TDirItem& item = items.GetItem(i);
        const std::string name = platform::WideToAnsi(item.FileName);
        SCOPED_TRACE(name);
        EXPECT_EQ(item.VersionNeeded, 20);
        EXPECT_EQ(item.VersionMadeBy, 63);
        ASSERT_EQ(item.Extras.size(), 1u);
        EXPECT_EQ(item.Extras[0].HeaderId, 0x000A);
        EXPECT_EQ(item.Extras[0].DataSize, 32);
        EXPECT_EQ(bytes[item.LocalHeaderOffset + 28], 0); // no local extra field
        EXPECT_EQ(item.Flags & 0x0800, 0);
        cyrillicNames += std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
        if (name.back() == '/') {
            EXPECT_EQ(item.CompressionMethod, 0);
            EXPECT_TRUE(item.ExternalAttributes & 0x10);
            folders.push_back(name);
            continue;
        }
        EXPECT_EQ(item.CompressionMethod, 8);
        EXPECT_EQ(item.Flags, 0);
        ASSERT_FALSE(folders.empty());
        EXPECT_EQ(name.rfind(folders.back(), 0), 0u);
        auto& [certificates, crls] = perFolder[folders.back()];
        (name.substr(name.size() - 4) == ".crl" ? crls : certificates)++;
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"AddressBook/", "CA/", "ROOT/"}));
    EXPECT_EQ(perFolder["AddressBook/"], std::make_pair(7, 1));
    EXPECT_EQ(perFolder["CA/"], std::make_pair(5, 2));
    EXPECT_EQ(perFolder["ROOT/"], std::make_pair(2, 3));
    EXPECT_EQ(cyrillicNames, 1);
}

TEST(Bundle, ContentsAsThePlacementRulesExpect) {
    TUnZip unzip;
    unzip.LoadFromString(Bundle(), false);
    ASSERT_EQ(unzip.Count(), 20);
    platform::ICertStoreService& service = platform::SystemCertStoreService();
    std::map<std::string, int> selfIssuedPerFolder;
    std::set<std::string> crlIssuers;
    for (int i = 0; i < unzip.Count(); ++i) {
        std::string name, contents;
        unzip.GetEntry(i, name, contents);
        SCOPED_TRACE(name);
        EXPECT_EQ(contents.substr(0, 2), "\x30\x82");
        const std::string folder = name.substr(0, name.find('\\'));
        if (name.substr(name.size() - 4) == ".crl") {
            const auto crl = ucrypt::DecodeCrl(service, contents);
            ASSERT_NE(crl, 0u);
            service.CertFreeCRLContext(crl);
            const std::string der = (fs::temp_directory_path() / "za-crl.der").string();
            WriteFile(der, contents);
            crlIssuers.insert(
                RunCommand("openssl crl -inform DER -noout -issuer -in '" + der + "'"));
            continue;
        }
        const auto certificate = ucrypt::DecodeCertificate(service, contents);
        ASSERT_NE(certificate, 0u);
        EXPECT_TRUE(ucrypt::HasBasicConstraints(service, certificate));
        const std::string subject = ucrypt::DisplayName(service, certificate, false);
        EXPECT_TRUE(std::any_of(subject.begin(), subject.end(), [](char c) { return c & 0x80; }))
            << "Cyrillic subject names";
        selfIssuedPerFolder[folder] += subject == ucrypt::DisplayName(service, certificate, true);
        service.CertFreeCertificateContext(certificate);
    }
    EXPECT_EQ(selfIssuedPerFolder["ROOT"], 2);
    EXPECT_EQ(selfIssuedPerFolder["CA"], 1);
    EXPECT_EQ(selfIssuedPerFolder["AddressBook"], 0);
    EXPECT_EQ(crlIssuers.size(), 6u);
}
