// Real browsers judge the run: Chromium and Firefox ESR, headless, in a throw-away home, ask
// a TLS server on 127.0.0.1 for its page, whose certificate chains to the test bundle's root.
// The server sees the request only when the browser trusted the chain: before the run no
// browser does, after it Chromium does through the shared database and Firefox through a
// profile in each place a Firefox of some packaging keeps them; after the removal none does
// again. NSS's tools judge the databases of the sandboxed browsers and mail programs, which no
// browser here opens.
#include "InstallerRun.h"
#include "TestTools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/types.h>
#include <unistd.h>

using namespace test;
namespace fs = std::filesystem;

namespace {

const fs::path kBrowserFiles = BROWSER_FILES_DIR; // the bundle's chain and key, made at build
const std::string kDone =
    "[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] Установка произведена !\n";

// The places of Firefox profiles, relative to the home, each named for the request it makes.
const std::vector<std::pair<std::string, std::string>> kFirefoxLayouts{
    {"old", ".mozilla/firefox"},
    {"xdg", ".config/mozilla/firefox"},
    {"snap", "snap/firefox/common/.mozilla/firefox"},
    {"flatpak", ".var/app/org.mozilla.firefox/.mozilla/firefox"},
};
// Databases no browser here can open.
const std::vector<std::string> kSandboxedDatabases{
    "snap/chromium/current/.pki/nssdb",
    ".var/app/org.chromium.Chromium/.pki/nssdb",
    ".var/app/com.google.Chrome/.pki/nssdb",
    "snap/thunderbird/common/.thunderbird/mail.default",
    ".var/app/org.mozilla.Thunderbird/.thunderbird/mail.default",
};

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class Browsers : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"chromium", "firefox-esr", "python3", "certutil", "vfychain"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed; the browser tests need it";
        url_ = StartServer(kBrowserFiles / "server.pem", kBrowserFiles / "server.key");
    }
    void TearDown() override {
        for (const pid_t server : servers_)
            kill(server, SIGTERM);
    }

    // A server with that chain and key; its address.
    std::string StartServer(const fs::path& chain, const fs::path& key) {
        const fs::path port = scratch_ / ("port" + std::to_string(servers_.size()));
        servers_.push_back(
            std::stoi(RunCommand("python3 '" SOURCE_TESTS_DIR "/browsers/tls_server.py' " +
                                 Quoted(chain) + " " + Quoted(key) + " " + Quoted(port) + " " +
                                 Quoted(Log()) + " > /dev/null 2>&1 & echo $!")));
        // The server writes its port once it listens.
        RunCommand("timeout 30 sh -c 'until [ -s \"$0\" ]; do sleep 0.1; done' " + Quoted(port));
        return "https://localhost:" + ReadFile(port) + "/";
    }
    fs::path Log() const { return scratch_ / "requests.txt"; }
    // The paths the servers were asked for since the last look.
    std::string Requests() {
        std::string requests = fs::exists(Log()) ? ReadFile(Log()) : "";
        fs::remove(Log());
        return requests;
    }

    // Chromium asks for the page; a refused certificate ends its load at once. Its data folder
    // is the installer's (see InstallerRun.h), where it keeps its database unless the home has
    // ~/.pki/nssdb.
    void RunChromium(const std::string& tag, const std::string& url = "") {
        std::system(("env HOME=" + Quoted(home_.Path()) + " XDG_DATA_HOME=" + Quoted(home_.Path()) +
                     " timeout -k 5 60 chromium --headless --no-sandbox --disable-gpu "
                     "--no-first-run --disable-background-networking --disable-component-update "
                     "--disable-sync --user-data-dir=" +
                     Quoted(scratch_ / ("chromium-" + tag)) + " --dump-dom '" +
                     (url.empty() ? url_ : url) + tag + "' > /dev/null 2>&1")
                        .c_str());
    }
    // Each Firefox profile asks for the page at once, with a path of its own. Firefox waits
    // for ever on a page it refused, so a refusal is a run that time ended with no request.
    void RunFirefoxes(int seconds) {
        std::string command = "cd " + Quoted(scratch_.Path()) + " && ";
        for (const auto& [tag, folder] : kFirefoxLayouts)
            command += "env HOME=" + Quoted(home_.Path()) + " timeout -k 5 " +
                       std::to_string(seconds) + " firefox-esr --headless --no-remote --profile " +
                       Quoted(home_ / folder / "profile.default") + " --screenshot " + tag +
                       ".png '" + url_ + tag + "' > /dev/null 2>&1 & ";
        std::system((command + "wait").c_str());
    }
    // A profile there, listed by its profiles.ini, with an empty database.
    void MakeProfile(const fs::path& folder) {
        MakeDatabase(folder / "profile.default");
        WriteFile(folder / "profiles.ini",
                  "[Profile0]\nName=default\nIsRelative=1\nPath=profile.default\n");
    }
    static void MakeDatabase(const fs::path& folder) {
        fs::create_directories(folder);
        RunCommand("certutil -N --empty-password -d " + Quoted("sql:" + folder.string()));
    }

    TempDir home_, scratch_;
    std::vector<pid_t> servers_;
    std::string url_; // the server whose chain ends in the bundle's root
};

} // namespace

TEST_F(Browsers, AcceptTheServerOnlyAfterTheRun) {
    for (const auto& [tag, folder] : kFirefoxLayouts)
        MakeProfile(home_ / folder);
    for (const std::string& database : kSandboxedDatabases)
        MakeDatabase(home_ / database);
    WriteFile(home_ / "snap/thunderbird/common/.thunderbird/profiles.ini",
              "[Profile0]\nIsRelative=1\nPath=mail.default\n");
    WriteFile(home_ / ".var/app/org.mozilla.Thunderbird/.thunderbird/profiles.ini",
              "[Profile0]\nIsRelative=1\nPath=mail.default\n");

    RunChromium("before");
    RunFirefoxes(10);
    EXPECT_EQ(Requests(), "");

    EXPECT_EQ(RunInstaller(home_.Path(), CERTINSTALL_TESTBUNDLE_PATH).output, kDone);

    RunChromium("chromium");
    EXPECT_NE(Requests().find("/chromium\n"), std::string::npos) << "Chromium refused the page";
    RunFirefoxes(90);
    const std::string requests = Requests();
    for (const auto& [tag, folder] : kFirefoxLayouts)
        EXPECT_NE(requests.find("/" + tag + "\n"), std::string::npos)
            << "Firefox refused the page with the profile in " << folder;
    for (const std::string& database : kSandboxedDatabases) {
        const std::string in = " -d " + Quoted("sql:" + (home_ / database).string());
        EXPECT_NE(RunCommand("certutil -L" + in).find("Test root for browsers"), std::string::npos)
            << database;
        EXPECT_EQ(std::system(("vfychain -pp -u 1" + in + " " +
                               Quoted(kBrowserFiles / "keys/bundle/AddressBook/localhost.cer") +
                               " > /dev/null 2>&1")
                                  .c_str()),
                  0)
            << "the server's chain does not verify in " << database;
    }

    // Taken out again, the root is trusted nowhere: each browser refuses the page.
    EXPECT_EQ(RunInstaller(home_.Path(), CERTINSTALL_TESTBUNDLE_PATH, "", "--remove").status, 0);
    RunChromium("removed");
    RunFirefoxes(10);
    EXPECT_EQ(Requests(), "");
}

// A user whose Chromium made its database under the data folder and trusts an authority of
// its own there: after the run, Chromium still uses that database, so it trusts both that
// authority's server and the bundle's.
TEST_F(Browsers, ChromiumKeepsItsDatabaseAndTheUsersOwnAuthority) {
    const fs::path keys = scratch_ / "own";
    fs::create_directories(keys);
    WriteFile(keys / "ext.cnf", "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    const std::string in = "cd " + Quoted(keys) + " && ";
    RunCommand(in + "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                    "-keyout ca.key -out ca.pem -subj '/CN=The user own authority' -days 2 "
                    "-addext keyUsage=critical,keyCertSign 2>&1 && "
                    "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "
                    "server.key -subj /CN=localhost -out server.csr 2>&1 && "
                    "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                    "-days 2 -extfile ext.cnf -out server.pem 2>&1");
    const std::string own = StartServer(keys / "server.pem", keys / "server.key");
    RunChromium("first");
    const fs::path chromiums = home_ / "pki/nssdb";
    ASSERT_TRUE(fs::exists(chromiums / "cert9.db")) << "Chromium made its database elsewhere";
    RunCommand("certutil -A -n 'The user own authority' -t C,, -i " + Quoted(keys / "ca.pem") +
               " -d " + Quoted("sql:" + chromiums.string()));
    Requests();
    RunChromium("own-before", own);
    EXPECT_NE(Requests().find("/own-before\n"), std::string::npos) << "no trust to keep";

    EXPECT_EQ(RunInstaller(home_.Path(), CERTINSTALL_TESTBUNDLE_PATH).output, kDone);

    EXPECT_FALSE(fs::exists(home_ / ".pki/nssdb"));
    RunChromium("own-after", own);
    RunChromium("bundle");
    const std::string requests = Requests();
    EXPECT_NE(requests.find("/own-after\n"), std::string::npos) << "the user's authority is lost";
    EXPECT_NE(requests.find("/bundle\n"), std::string::npos) << "the bundle's root is not used";
}
