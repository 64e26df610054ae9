// The certificate stores when the installer is killed, runs twice at once, or meets a full
// disk: every store file is absent or whole, and nothing is added twice.
#include "FaultyStores.h"
#include "InstallerRun.h"
#include "TestTools.h"
#include "installer/UPwd.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

using namespace test;
namespace fs = std::filesystem;

namespace {

using StoreFiles = std::map<std::string, std::string>; // "store/file" → contents

// The certificate and CRL files of all stores; temporary and lock files are not store files.
StoreFiles Snapshot(const fs::path& stores) {
    StoreFiles files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(stores, error))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files[fs::relative(entry.path(), stores).string()] = ReadFile(entry.path());
    return files;
}

bool HasTemporaries(const fs::path& stores) {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(stores, error))
        if (entry.path().filename().string().rfind(".tmp-", 0) == 0)
            return true;
    return false;
}

bool IsWholePem(const std::string& name, const std::string& contents) {
    const StoreFile kind = KindOfStoreFile(fs::path(name).filename().string());
    BIO* bio = BIO_new_mem_buf(contents.data(), static_cast<int>(contents.size()));
    bool whole = false;
    if (kind == StoreFile::Crl) {
        X509_CRL* crl = PEM_read_bio_X509_CRL(bio, nullptr, nullptr, nullptr);
        whole = crl != nullptr;
        X509_CRL_free(crl);
    } else if (kind == StoreFile::Certificate) {
        X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
        whole = certificate != nullptr;
        X509_free(certificate);
    }
    BIO_free(bio);
    return whole;
}

void ExpectOnlyWholeFiles(const fs::path& stores, const std::string& context) {
    for (const auto& [name, contents] : Snapshot(stores))
        EXPECT_TRUE(IsWholePem(name, contents)) << context << ": " << name;
}

constexpr int kKilled = -1; // the run's status when a signal ended it

class StoreFaults : public ::testing::Test {
protected:
    // What one undisturbed run leaves in empty stores.
    static const StoreFiles& Complete() {
        static const StoreFiles complete = [] {
            TempDir data;
            EXPECT_EQ(RunInstaller(data.Path(), CERTINSTALL_PATH).status, 0);
            return Snapshot(StoresIn(data.Path()));
        }();
        return complete;
    }
};

} // namespace

TEST_F(StoreFaults, KilledAtManyPointsThenRunAgain) {
    if (!CommandAvailable("strace"))
        GTEST_SKIP() << "strace injects the kills";
    ASSERT_EQ(Complete().size(), 3u + 14 + 3 * 6);
    // Every second file written, moved into place or flushed: the kill comes as the call is
    // made, so each point leaves a different state behind.
    // LeakSanitizer cannot work under a tracer; the kills are what is tested here.
    const std::string tracer = "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e inject=";
    for (const std::string call : {"rename", "fsync", "write"})
        for (int nth = 1;; nth += call == "rename" ? 2 : 5) {
            ASSERT_LT(nth, 1000) << "a run makes more " << call << " calls than expected";
            TempDir data;
            const std::string kill = tracer + call + ":signal=KILL:when=" + std::to_string(nth);
            const std::string context = "killed at " + call + " " + std::to_string(nth);
            if (RunInstaller(data.Path(), CERTINSTALL_PATH, kill).status != kKilled)
                break; // the run made fewer such calls: all points of this call are done
            ExpectOnlyWholeFiles(StoresIn(data.Path()), context);
            EXPECT_EQ(RunInstaller(data.Path(), CERTINSTALL_PATH).status, 0) << context;
            EXPECT_EQ(Snapshot(StoresIn(data.Path())), Complete()) << context;
            EXPECT_FALSE(HasTemporaries(StoresIn(data.Path()))) << context;
        }
}

TEST_F(StoreFaults, TwoInstallersAtTheSameMomentAddEachCertificateOnce) {
    for (int round = 0; round < 3; ++round) {
        TempDir data;
        std::thread first([&] { RunInstaller(data.Path(), CERTINSTALL_PATH); });
        const InstallerRun second = RunInstaller(data.Path(), CERTINSTALL_PATH);
        first.join();
        EXPECT_EQ(second.status, 0);
        EXPECT_EQ(Snapshot(StoresIn(data.Path())), Complete()) << "round " << round;
    }
}

TEST_F(StoreFaults, FullDiskFailsCertificatesOneByOneAndLeavesNoPartialFile) {
    TempDir data;
    const fs::path stores = StoresIn(data.Path()), seen = data / "seen";
    fs::create_directories(stores);
    fs::create_directories(seen);
    // A small disk of its own under the stores where this machine lets us mount one (its
    // contents are copied out before it goes); else flushing fails with ENOSPC from the
    // tenth file on.
    const bool ownDisk = std::system("unshare -m true 2>/dev/null") == 0;
    const std::string prefix =
        ownDisk ? "unshare -m sh -c 'd=$0 o=$1; shift; mount -t tmpfs -o size=40k tmpfs \"$d\" "
                  "&& \"$@\"; s=$?; cp -a \"$d\"/. \"$o\"; exit $s' '" +
                      stores.string() + "' '" + seen.string() + "'"
                : "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e "
                  "inject=fsync:error=ENOSPC:when=19+";
    if (!ownDisk && !CommandAvailable("strace"))
        GTEST_SKIP() << "neither a small disk nor strace to fill one";
    const InstallerRun run = RunInstaller(data.Path(), CERTINSTALL_PATH, prefix);
    const fs::path result = ownDisk ? seen : stores;

    EXPECT_EQ(run.status, 1);
    const std::string error = "[Ошибка] Ошибка Win32.  Код: 28.\nNo space left on device\n";
    int errors = 0;
    for (size_t at = run.output.find(error); at != std::string::npos;
         at = run.output.find(error, at + 1))
        ++errors;
    const StoreFiles left = Snapshot(result);
    EXPECT_GT(errors, 0) << run.output;
    EXPECT_LT(left.size(), Complete().size());
    ExpectOnlyWholeFiles(result, "full disk");
    EXPECT_FALSE(HasTemporaries(result));
    EXPECT_NE(run.output.find("Установка произведена !"), std::string::npos) << run.output;
}

namespace {

// The window's shell whose error dialog, while it is up, lets another installer run.
class ShellRunningAnotherInstaller : public IFormShell {
public:
    ShellRunningAnotherInstaller(const fs::path& data) : data_(data) {}
    std::vector<InstallerRun> others;
    void ShowErrorDialog(const std::u16string&) override {
        // The watchdog turns a wait for ever into a failed run.
        others.push_back(RunInstaller(data_, CERTINSTALL_PATH, "timeout 120"));
    }
    void ShowInfoMessage(const std::string&) override {}
    void CloseMainWindow() override {}

private:
    fs::path data_;
};

} // namespace

TEST_F(StoreFaults, AnotherInstallerFinishesWhileADialogIsUp) {
    TempDir data;
    const ThrowAwayUser user(data.Path());
    FaultyStores stores(platform::SystemCertStoreService());
    stores.failingCertificateAdds = 1;
    ShellRunningAnotherInstaller shell(data.Path());
    TForm1 form(shell, stores, [] { return ReadFile(fs::path(RESOURCES_DIR) / "roots.zip"); });
    form.Button1Click(nullptr);

    ASSERT_EQ(shell.others.size(), 1u);
    EXPECT_EQ(shell.others[0].status, 0);
    EXPECT_NE(shell.others[0].output.find("Установка произведена !"), std::string::npos)
        << shell.others[0].output;
    EXPECT_EQ(Snapshot(StoresIn(data.Path())), Complete());
}

// Every temporary file whose flush failed is closed at once, so that a full disk gets its
// space back while the program still runs.
TEST_F(StoreFaults, AFailedFlushClosesTheTemporaryFile) {
    if (!CommandAvailable("strace"))
        GTEST_SKIP() << "strace injects the failures";
    TempDir data;
    const fs::path log = data / "strace.txt";
    const InstallerRun run =
        RunInstaller(data.Path(), CERTINSTALL_PATH,
                     "env ASAN_OPTIONS=detect_leaks=0 strace -o '" + log.string() +
                         "' -e trace=fsync,close -e inject=fsync:error=ENOSPC");
    EXPECT_EQ(run.status, 1);
    std::ifstream calls(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(calls, line);)
        lines.push_back(line);
    const std::regex failedFlush(R"(fsync\((\d+)\).*INJECTED.*)");
    int failures = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        if (!std::regex_match(lines[i], match, failedFlush))
            continue;
        ++failures;
        const std::string close = "close(" + match[1].str() + ")";
        EXPECT_TRUE(std::any_of(lines.begin() + static_cast<long>(i), lines.end(),
                                [&](const std::string& l) { return l.rfind(close, 0) == 0; }))
            << "descriptor " << match[1] << " of a failed flush stays open";
    }
    EXPECT_EQ(failures, 14 + 3 * 6);
}

// A store folder that cannot be made fails every add to that store; nothing goes into the
// folder above it in its place.
TEST_F(StoreFaults, AStoreFolderThatCannotBeMadeFailsItsAdds) {
    if (!CommandAvailable("strace"))
        GTEST_SKIP() << "strace injects the failures";
    TempDir data;
    const InstallerRun run = RunInstaller(
        data.Path(), CERTINSTALL_PATH,
        "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e inject=mkdirat:error=EDQUOT");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Occurrences(run.output, "Ошибка Win32.  Код: 122.\nDisk quota exceeded"), 14)
        << run.output;
    for (const auto& [name, contents] : Snapshot(data.Path()))
        EXPECT_EQ(KindOfStoreFile(fs::path(name).filename().string()), StoreFile::Other) << name;
}

// Another program holding a store's lock makes the run wait for it once, not once for every
// certificate: the watchdog's minute is far less than ten seconds for each of them.
TEST_F(StoreFaults, ALockHeldElsewhereIsWaitedForOnceARun) {
    TempDir data;
    const fs::path ca = StoresIn(data.Path()) / "CA";
    fs::create_directories(ca);
    const int lock = open((ca / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const InstallerRun run = RunInstaller(data.Path(), CERTINSTALL_PATH, "timeout 60");
    close(lock);
    EXPECT_EQ(run.status, 1) << run.output;
    // The message says who holds the store.
    EXPECT_GT(Occurrences(run.output, "Код: 11.\nAnother installer is at work"), 1) << run.output;
    EXPECT_EQ(CountStore(StoresIn(data.Path()) / "ROOT").certificates, 3);
}
