// The user's NSS databases after a run, as NSS's own tools see them: certutil's listing and
// trust flags, crlutil's CRLs, and vfychain's path validation, which is what browsers use.
#include "InstallerRun.h"
#include "TestTools.h"
#include "platform/CodePages.h"
#include "stores/CertStore.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using namespace test;
namespace fs = std::filesystem;

namespace {

const std::string kDone =
    "[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] Установка произведена !\n";
const std::string kRoot = "Тестовый корневой УЦ ";

using Listing = std::map<std::string, std::string>; // nickname → trust, as certutil lists them

class NssDatabases : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"certutil", "crlutil", "vfychain"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " judges the databases";
        TUnZip unzip;
        unzip.LoadFromString(ReadFile(fs::path(RESOURCES_DIR) / "roots.zip"), false);
        for (int i = 0; i < unzip.Count(); ++i) {
            std::string name, contents;
            unzip.GetEntry(i, name, contents);
            const fs::path file = bundle_[name] = scratch_ / (std::to_string(i) + ".der");
            WriteFile(file, contents);
            // End entities, told by openssl from their basic constraints.
            if (!name.ends_with(".crl") &&
                RunCommand("openssl x509 -inform DER -noout -ext basicConstraints -in '" +
                           file.string() + "'")
                        .find("CA:FALSE") != std::string::npos)
                endEntities_.push_back(file);
        }
        ASSERT_EQ(endEntities_.size(), 7u);
    }

    InstallerRun Install(const std::string& prefix = "") {
        return RunInstaller(home_.Path(), CERTINSTALL_PATH, prefix);
    }
    fs::path Shared() const { return home_ / ".pki" / "nssdb"; }
    static std::string In(const fs::path& database) {
        return " -d 'sql:" + database.string() + "'";
    }
    static void MakeDatabase(const fs::path& folder) {
        fs::create_directories(folder);
        RunCommand("certutil -N --empty-password" + In(folder));
    }
    // The lines of a listing after its header, without their trailing blanks.
    static std::vector<std::string> Lines(const std::string& listing, size_t header) {
        std::istringstream in(listing);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            line.erase(line.find_last_not_of(' ') + 1);
            if (line.find(' ') != std::string::npos)
                lines.push_back(line);
        }
        return {lines.begin() + static_cast<long>(std::min(lines.size(), header)), lines.end()};
    }
    static Listing Certificates(const fs::path& database) {
        Listing listing;
        for (const std::string& line : Lines(RunCommand("certutil -L" + In(database)), 2)) {
            const size_t gap = line.rfind(' ');
            listing[line.substr(0, line.find_last_not_of(' ', gap) + 1)] = line.substr(gap + 1);
        }
        return listing;
    }
    static std::string Crls(const fs::path& database) {
        return RunCommand("crlutil -L" + In(database) + " 2>/dev/null");
    }
    // `chain`: further certificates that vfychain is given, quoted, to find the path with.
    static bool Verifies(const fs::path& database, const fs::path& certificate,
                         const std::string& chain = "") {
        const std::string command = "vfychain -pp -u 1" + In(database) + " '" +
                                    certificate.string() + "'" + chain + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    void ExpectTheBundle(const fs::path& database) {
        SCOPED_TRACE(database);
        const Listing listing = Certificates(database);
        EXPECT_EQ(listing.size(), 14u);
        for (const auto& [nickname, trust] : listing)
            EXPECT_EQ(trust, nickname.starts_with(kRoot) ? "C,C,C" : ",,") << nickname;
        EXPECT_EQ(Lines(Crls(database), 1).size(), 6u) << Crls(database);
        for (const fs::path& certificate : endEntities_)
            EXPECT_TRUE(Verifies(database, certificate)) << certificate;
    }
    // Each certificate the database holds, by its bytes, with the trust certutil lists for it.
    std::map<std::string, std::string> TrustsByBytes(const fs::path& database) {
        std::map<std::string, std::string> trusts;
        const fs::path listed = scratch_ / "listed.pem";
        for (const auto& [nickname, trust] : Certificates(database)) {
            const std::string pems =
                RunCommand("certutil -L -a -n '" + nickname + "'" + In(database));
            for (size_t at = pems.find("-----BEGIN"); at != std::string::npos;
                 at = pems.find("-----BEGIN", at + 1)) {
                WriteFile(listed, pems.substr(at));
                trusts[RunCommand("openssl x509 -outform DER -in '" + listed.string() + "'")] =
                    trust;
            }
        }
        return trusts;
    }
    // Each object of the bundle through the store service, in each store of the bundle's, all
    // open at once as the installer has them.
    template <class Call> void ForEachObject(const Call& call) {
        const ThrowAwayUser user(home_.Path());
        platform::ICertStoreService& service = platform::SystemCertStoreService();
        std::vector<platform::HCERTSTORE> stores;
        for (const char* name : {"ROOT", "CA", "AddressBook"})
            stores.push_back(service.CertOpenSystemStoreA(name));
        for (const platform::HCERTSTORE store : stores)
            for (const auto& [entry, file] : bundle_) {
                const std::string der = ReadFile(file);
                const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
                const auto size = static_cast<uint32_t>(der.size());
                const bool crl = entry.ends_with(".crl");
                const uintptr_t object = crl ? service.CertCreateCRLContext(1, bytes, size)
                                             : service.CertCreateCertificateContext(1, bytes, size);
                call(service, store, object, crl, der);
                crl ? service.CertFreeCRLContext(object)
                    : service.CertFreeCertificateContext(object);
            }
        for (const platform::HCERTSTORE store : stores)
            service.CertCloseStore(store, 0);
    }
    // Deletes every object of the bundle from every store, as a remove does; the error text of
    // each delete that failed.
    std::vector<std::u16string> RemoveTheBundle() {
        std::vector<std::u16string> failures;
        ForEachObject([&](platform::ICertStoreService& service, platform::HCERTSTORE store,
                          uintptr_t object, bool crl, const std::string&) {
            if (!(crl ? service.CrlDeleteFromStore(store, object)
                      : service.CertDeleteFromStore(store, object)))
                failures.push_back(service.ErrorText(service.GetLastError()));
        });
        return failures;
    }
    // Where the service finds each object of the bundle in the database, by the object's bytes:
    // the same from every store, since the databases are every store's.
    std::map<std::string, platform::TStorePlace> FoundIn(const fs::path& database) {
        std::map<std::string, platform::TStorePlace> found;
        ForEachObject([&](platform::ICertStoreService& service, platform::HCERTSTORE store,
                          uintptr_t object, bool crl, const std::string& der) {
            for (const platform::TStorePlace& place : crl ? service.CrlFindInStore(store, object)
                                                          : service.CertFindInStore(store, object))
                if (place.place == database.string()) {
                    const auto [at, first] = found.emplace(der, place);
                    EXPECT_TRUE(at->second.present == place.present &&
                                at->second.trusted == place.trusted);
                }
        });
        return found;
    }

    // A profiles.ini in the folder that lists one profile there, with its database.
    static fs::path MakeProfile(const fs::path& folder, const std::string& extra = "") {
        MakeDatabase(folder / "profile.default");
        WriteFile(folder / "profiles.ini",
                  "[Profile0]\nName=default\nIsRelative=1\nPath=profile.default\n" + extra);
        return folder / "profile.default";
    }

    TempDir home_, scratch_;
    std::map<std::string, fs::path> bundle_; // entry name → its contents in a file
    std::vector<fs::path> endEntities_;
};

} // namespace

TEST_F(NssDatabases, TheSharedOneAndEveryProfileGetTheBundleOnce) {
    const fs::path firefox = home_ / ".mozilla" / "firefox", thunderbird = scratch_ / "mail box";
    const fs::path release = firefox / "Профиль с пробелами.release", legacy = firefox / "old";
    // A path not marked relative names no folder of the ini's, nor of the run's working one.
    const fs::path unmarked = firefox / "unmarked", absoluteOnly = firefox / "zero";
    // A relative path whose ".." climbs above "/" names the same folder as from "/".
    const fs::path climbing = scratch_ / "climbing";
    std::string aboveRoot;
    for ([[maybe_unused]] const auto& part : firefox)
        aboveRoot += "../";
    MakeDatabase(climbing);
    MakeDatabase(release);
    MakeDatabase(unmarked);
    MakeDatabase(absoluteOnly);
    MakeDatabase(thunderbird);
    fs::create_directories(legacy);
    WriteFile(legacy / "cert8.db", "legacy");
    WriteFile(firefox / "profiles.ini",
              "[Install4F96D1932A9F858E]\nDefault=Профиль с пробелами.release\nLocked=1\n\n"
              "[Profile1]\nName=old\nIsRelative=1\nPath=old\n\n[Profile0]\nName=release\n"
              "IsRelative=1\nPath=Профиль с пробелами.release\nDefault=1\n\n[General]\n"
              "StartWithLastProfile=1\nVersion=2\n\n[Profile2]\nName=unmarked\nPath=unmarked\n"
              "[Profile4]\nIsRelative=0\nPath=zero\n"
              "[Profile3]\nIsRelative=1\nPath=" +
                  aboveRoot + "../" + climbing.relative_path().string() + "\n");
    fs::create_directories(home_ / ".thunderbird");
    WriteFile(home_ / ".thunderbird" / "profiles.ini",
              "[Profile0]\r\nName=default\r\nIsRelative=0\r\nPath=" + thunderbird.string() +
                  "\r\n");

    EXPECT_EQ(Install("env -C '" + firefox.string() + "'").output, kDone);
    EXPECT_TRUE(Certificates(unmarked).empty());
    EXPECT_TRUE(Certificates(absoluteOnly).empty());
    struct stat info {};
    ASSERT_EQ(stat(Shared().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    for (const fs::path& database : {Shared(), release, thunderbird, climbing})
        ExpectTheBundle(database);
    EXPECT_EQ(std::distance(fs::directory_iterator(legacy), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadFile(legacy / "cert8.db"), "legacy");
    const fs::path empty = scratch_ / "empty";
    MakeDatabase(empty);
    for (const fs::path& certificate : endEntities_)
        EXPECT_FALSE(Verifies(empty, certificate)) << certificate;

    const Listing listed = Certificates(Shared());
    const std::string crls = Crls(Shared());
    EXPECT_EQ(Install().output, kDone);
    EXPECT_EQ(Certificates(Shared()), listed);
    EXPECT_EQ(Crls(Shared()), crls);
}

// Chromium's database under the data folder gets the bundle, and none is made at ~/.pki/nssdb
// beside it, which Chromium would take instead; where both are, both get it.
TEST_F(NssDatabases, ChromiumsDatabaseIsTheOneItUses) {
    const fs::path dataFolders = home_ / "pki" / "nssdb";
    MakeDatabase(dataFolders);
    EXPECT_EQ(Install().output, kDone);
    ExpectTheBundle(dataFolders);
    EXPECT_FALSE(fs::exists(home_ / ".pki"));

    MakeDatabase(Shared());
    EXPECT_EQ(Install().output, kDone);
    ExpectTheBundle(Shared());
}

// What the database held keeps its nickname and never loses trust; a nickname that a
// certificate of another subject has is numbered; only a later CRL of an issuer stays.
TEST_F(NssDatabases, WhatWasThereStaysUnlessTheBundleHasItNewer) {
    MakeDatabase(Shared());
    const auto add = [&](const std::string& nickname, const std::string& trust,
                         const fs::path& file) {
        RunCommand("certutil -A -n '" + nickname + "' -t '" + trust + "' -i '" + file.string() +
                   "'" + In(Shared()));
    };
    add("Старое имя", "CT,C,", bundle_.at("ROOT\\root1.cer"));
    add("Мой УЦ", "C,,", bundle_.at("CA\\ca12.cer"));
    add("Недоверенный", "p,p,p", bundle_.at("CA\\root3.cer"));
    add("Узел", "P,,", bundle_.at("ROOT\\root2.cer"));
    const std::string other = (scratch_ / "other").string();
    RunCommand("openssl req -x509 -utf8 -newkey rsa:2048 -nodes -keyout '" + other +
               ".key' -subj '/CN=Подчинённый УЦ 1.1' -outform DER -out '" + other +
               ".der' 2>/dev/null");
    add("Подчинённый УЦ 1.1", ",,", other + ".der");
    for (const auto& [root, issued] :
         {std::pair("1", "20200101000000Z"), {"2", "20400101000000Z"}}) {
        const fs::path base = scratch_ / ("crl" + std::string(root));
        IssuedCrl(base, "/C=RU/O=ЗАО Тестовый УЦ/CN=" + kRoot + root,
                  "-crl_lastupdate " + std::string(issued));
        RunCommand("crlutil -I -B -i '" + base.string() + ".der'" + In(Shared()));
    }

    EXPECT_EQ(Install().output, kDone);
    const Listing listing = Certificates(Shared());
    EXPECT_EQ(listing.size(), 15u);
    // A peer the user trusts is trusted as an authority too.
    const Listing expected{{"Старое имя", "CT,C,C"},        {"Мой УЦ", "C,,"},
                           {"Недоверенный", "p,p,p"},       {"Подчинённый УЦ 1.1", ",,"},
                           {"Подчинённый УЦ 1.1 #2", ",,"}, {"Узел", "CP,C,C"}};
    for (const auto& [nickname, trust] : expected)
        EXPECT_EQ(listing.count(nickname) ? listing.at(nickname) : "(none)", trust) << nickname;
    EXPECT_EQ(Lines(Crls(Shared()), 1).size(), 6u);
    // Listed by the nickname of the issuer's certificate.
    const auto crl = [&](const std::string& issuer) {
        return RunCommand("crlutil -L -n '" + issuer + "'" + In(Shared()));
    };
    // The years of the CRLs made here are found only in their "This Update".
    EXPECT_EQ(crl("Старое имя").find(" 2020"), std::string::npos) << crl("Старое имя");
    EXPECT_NE(crl("Узел").find(" 2040"), std::string::npos) << crl("Узел");
}

// A read-only database is reported once, by its program and folder, and fails the run; the
// folders still get every add, and a run on the writable database completes it without a word.
TEST_F(NssDatabases, AReadOnlyOneIsReportedOnce) {
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "a read-only mount needs a namespace of its own";
    MakeDatabase(Shared());
    const InstallerRun run =
        Install("unshare -rm sh -c 'mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"' '" +
                Shared().string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Occurrences(run.output, "[Ошибка]"), 1) << run.output;
    EXPECT_EQ(Occurrences(run.output, "[Ошибка] Ошибка Win32.  Код: -8126.\nChromium database " +
                                          Shared().string() +
                                          ": security library: read-only database\n"),
              1)
        << run.output;
    EXPECT_NE(run.output.find(kDone), std::string::npos);
    const fs::path stores = StoresIn(home_.Path());
    EXPECT_EQ(CountStore(stores / "ROOT"), (StoreCount{3, 6}));
    EXPECT_EQ(CountStore(stores / "CA"), (StoreCount{14, 6}));
    EXPECT_TRUE(Certificates(Shared()).empty());

    EXPECT_EQ(Install().output, kDone);
    ExpectTheBundle(Shared());
}

// Two read-only ones, though changed side by side, are each reported once, in the order in
// which the run finds them: Chromium's before the profile's.
TEST_F(NssDatabases, TwoReadOnlyOnesAreReportedInTurn) {
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "a read-only mount needs a namespace of its own";
    const fs::path profile = MakeProfile(home_ / ".mozilla" / "firefox");
    MakeDatabase(Shared());
    const InstallerRun run =
        Install("unshare -rm sh -c 'mount --bind -o ro \"$0\" \"$0\" && mount --bind -o ro \"$1\" "
                "\"$1\" && shift && exec \"$@\"' '" +
                Shared().string() + "' '" + profile.string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Occurrences(run.output, "[Ошибка]"), 2) << run.output;
    const size_t chromium = run.output.find("Chromium database " + Shared().string() + ": "),
                 firefox = run.output.find("database " + profile.string() + ": ");
    EXPECT_NE(firefox, std::string::npos) << run.output;
    EXPECT_LT(chromium, firefox) << run.output;
}

// A profiles.ini beyond any browser's size is passed over unread, as one that cannot be read.
TEST_F(NssDatabases, AnOversizedProfilesIniIsPassedOver) {
    const fs::path folder = home_ / ".mozilla" / "firefox", profile = MakeProfile(folder);
    fs::resize_file(folder / "profiles.ini", 400 << 20); // its section first, then a hole
    EXPECT_EQ(Install().output, kDone);
    EXPECT_TRUE(Certificates(profile).empty());
}

// A disk too full for the database is said as such, once, not as the wrong password or the
// unknown error that NSS makes of it at the sizes below.
TEST_F(NssDatabases, AFullDiskIsSaidAsSuch) {
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "a small disk needs a namespace of its own";
    for (const char* size : {"40k", "64k"}) {
        fs::remove_all(home_ / ".pki");
        fs::create_directories(home_ / ".pki");
        // NSS itself leaks what it had allocated for a database whose open failed.
        const InstallerRun run =
            Install(std::string("env ASAN_OPTIONS=detect_leaks=0 unshare -rm sh -c 'mount -t "
                                "tmpfs -o size=") +
                    size + " tmpfs \"$0\" && mkdir \"$0/nssdb\" && exec \"$@\"' '" +
                    (home_ / ".pki").string() + "'");
        EXPECT_EQ(run.status, 1) << size;
        EXPECT_EQ(Occurrences(run.output, "[Ошибка]"), 1) << run.output;
        EXPECT_EQ(Occurrences(run.output, "Код: 28.\nChromium database " + Shared().string() +
                                              ": No space left on device\n"),
                  1)
            << run.output;
    }
}

// A database with a password takes the other certificates and the CRLs; trusting a root there
// is left to whoever knows the password, which is said once, and the roots stay out of it
// rather than sit there untrusted.
TEST_F(NssDatabases, APasswordKeepsTheTrustAsItIs) {
    fs::create_directories(Shared());
    WriteFile(scratch_ / "password", "secret\n");
    RunCommand("certutil -N -f '" + (scratch_ / "password").string() + "'" + In(Shared()));
    const InstallerRun run = Install();
    EXPECT_EQ(Occurrences(run.output, "Код: -8037.\nChromium database " + Shared().string()), 1)
        << run.output;
    EXPECT_EQ(Occurrences(run.output, "[Ошибка]"), 1) << run.output;
    const Listing listing = Certificates(Shared());
    EXPECT_EQ(listing.size(), 11u);
    for (const auto& [nickname, trust] : listing)
        EXPECT_EQ(trust, ",,") << nickname;
    EXPECT_EQ(Lines(Crls(Shared()), 1).size(), 6u);
}

// A CRL object that does not read as a CRL (here its value damaged behind NSS's back) keeps
// the database from nothing: every root goes in with its trust.
TEST_F(NssDatabases, AnUnreadableCrlObjectIsPassedOver) {
    MakeDatabase(Shared());
    const fs::path crl = scratch_ / "crl";
    WriteFile(crl, IssuedCrl(scratch_ / "issuer", "/CN=Issuer of a damaged CRL"));
    RunCommand("crlutil -I -B -i '" + crl.string() + "'" + In(Shared()));
    RunCommand("python3 -c 'import sqlite3, sys; d = sqlite3.connect(sys.argv[1]); "
               "d.execute(\"UPDATE nssPublic SET a11 = ? WHERE a0 = ?\", "
               "(bytes.fromhex(\"3003020100\"), bytes.fromhex(\"ce534351\"))); d.commit()' '" +
               (Shared() / "cert9.db").string() + "'");
    const InstallerRun run = Install();
    EXPECT_EQ(run.output, kDone);
    EXPECT_EQ(run.status, 0);
    for (const fs::path& certificate : endEntities_)
        EXPECT_TRUE(Verifies(Shared(), certificate)) << certificate;
    EXPECT_EQ(Lines(Crls(Shared()), 1).size(), 6u) << Crls(Shared()); // the damaged one unlisted
}

TEST_F(NssDatabases, WithoutAHomeNothingIsWritten) {
    const InstallerRun run = Install("env -u HOME");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("HOME"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(StoresIn(home_.Path())));
    EXPECT_FALSE(fs::exists(Shared()));
}

// Every place where a browser or mail program of some packaging keeps its databases: each
// that exists gets the bundle, none is made where it is missing (but the shared one), and a
// location that cannot be read holds the run up no more than a missing one.
TEST_F(NssDatabases, EveryPackagingsDatabasesGetTheBundle) {
    std::vector<fs::path> databases{Shared()};
    for (const char* folder :
         {".config/mozilla/firefox", "snap/firefox/common/.mozilla/firefox",
          "snap/firefox/common/.config/mozilla/firefox",
          ".var/app/org.mozilla.firefox/.mozilla/firefox",
          ".var/app/org.mozilla.firefox/.config/mozilla/firefox",
          ".var/app/org.mozilla.firefox/config/mozilla/firefox",
          "snap/thunderbird/common/.thunderbird", ".var/app/org.mozilla.Thunderbird/.thunderbird"})
        databases.push_back(MakeProfile(home_ / folder));
    for (const char* folder :
         {"snap/chromium/current/.pki/nssdb", ".var/app/org.chromium.Chromium/.pki/nssdb",
          ".var/app/com.google.Chrome/.pki/nssdb"}) {
        databases.push_back(home_ / folder);
        MakeDatabase(databases.back());
    }
    // A profile group: the members beside the one that profiles.ini lists are the rows of its
    // store; a member given by its absolute path counts too.
    const fs::path firefox = home_ / ".mozilla" / "firefox", elsewhere = scratch_ / "member";
    databases.push_back(MakeProfile(firefox, "StoreID=4f1a\n"));
    for (const fs::path& member : {firefox / "member.work", elsewhere}) {
        databases.push_back(member);
        MakeDatabase(member);
    }
    fs::create_directories(firefox / "Profile Groups");
    RunCommand("python3 -c 'import sqlite3, sys; d = sqlite3.connect(sys.argv[1]); "
               "d.execute(\"CREATE TABLE Profiles (id INTEGER PRIMARY KEY, path TEXT)\"); "
               "d.executemany(\"INSERT INTO Profiles (path) VALUES (?)\", [(\"profile.default\",), "
               "(\"member.work\",), (sys.argv[2],)]); d.commit()' '" +
               (firefox / "Profile Groups" / "4f1a.sqlite").string() + "' '" + elsewhere.string() +
               "'");
    // A FIFO for a profiles.ini, a damaged group store: nobody writes to the one, the other
    // names nothing.
    fs::create_directories(home_ / ".thunderbird");
    ASSERT_EQ(mkfifo((home_ / ".thunderbird" / "profiles.ini").c_str(), 0600), 0);
    const fs::path damaged = home_ / "snap/firefox/common/.mozilla/firefox";
    WriteFile(damaged / "profiles.ini", ReadFile(damaged / "profiles.ini") + "StoreID=bad\n");
    fs::create_directories(damaged / "Profile Groups");
    WriteFile(damaged / "Profile Groups" / "bad.sqlite", "not a database");

    const InstallerRun run = Install("timeout 120");
    EXPECT_EQ(run.output, kDone);
    EXPECT_EQ(run.status, 0);
    for (const fs::path& database : databases)
        ExpectTheBundle(database);
    // A browser that is not installed gets no folders of its own.
    fs::remove_all(home_ / ".var" / "app" / "com.google.Chrome");
    fs::remove_all(home_ / "snap" / "chromium");
    EXPECT_EQ(Install("timeout 120").output, kDone);
    EXPECT_FALSE(fs::exists(home_ / ".var" / "app" / "com.google.Chrome"));
    EXPECT_FALSE(fs::exists(home_ / "snap" / "chromium"));
}

// A CRL of the issuer that is as new as the one a database holds leaves that one in place,
// and the add is no failure.
TEST_F(NssDatabases, ACrlAsNewAsTheOneThereIsAlreadyPresent) {
    MakeDatabase(Shared());
    const std::string issuer = "/CN=Издатель", issued = "-crl_lastupdate 20250101000000Z";
    IssuedCrl(scratch_ / "first", issuer, issued + " -crl_nextupdate 20260101000000Z");
    // crlutil shows a CRL's details, its next update among them, through its issuer.
    RunCommand("certutil -A -n Издатель -t ,, -i '" + (scratch_ / "first.pem").string() + "'" +
               In(Shared()));
    RunCommand("crlutil -I -B -i '" + (scratch_ / "first.der").string() + "'" + In(Shared()));
    const auto details = [&] { return RunCommand("crlutil -L -n Издатель" + In(Shared())); };
    const std::string held = details(),
                      same = IssuedCrl(scratch_ / "same", issuer,
                                       issued + " -crl_nextupdate 20270101000000Z");
    ASSERT_NE(held.find("2026"), std::string::npos) << held;
    const ThrowAwayUser user(home_.Path());
    platform::ICertStoreService& service = platform::SystemCertStoreService();
    const platform::HCERTSTORE store = service.CertOpenSystemStoreA("CA");
    const platform::PCCRL_CONTEXT crl = service.CertCreateCRLContext(
        1, reinterpret_cast<const unsigned char*>(same.data()), static_cast<uint32_t>(same.size()));
    EXPECT_TRUE(service.CertAddCRLContextToStore(store, crl, 3)) << service.GetLastError();
    service.CertFreeCRLContext(crl);
    service.CertCloseStore(store, 0);
    EXPECT_EQ(details(), held);
    EXPECT_EQ(Lines(Crls(Shared()), 1).size(), 1u);
}

// Two installers at once: neither shows a dialog, and each database holds each certificate
// and each CRL once; also when the two are told of other data folders (a desktop's and a
// shell's), since the databases are the same.
TEST_F(NssDatabases, TwoAtOnceShowNothingAndStoreEachOnce) {
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        TempDir home;
        const fs::path firefox = home / ".mozilla/firefox";
        std::vector<fs::path> databases{home / ".pki/nssdb"};
        std::string ini;
        for (const std::string profile : {"a", "b", "c", "d"}) {
            databases.push_back(firefox / profile);
            MakeDatabase(databases.back());
            ini += "[Profile" + profile + "]\nIsRelative=1\nPath=" + profile + "\n";
        }
        WriteFile(firefox / "profiles.ini", ini);
        InstallerRun first;
        std::thread other([&] { first = RunInstaller(home.Path(), CERTINSTALL_PATH); });
        const std::string otherData = "XDG_DATA_HOME='" + (home / "elsewhere").string() + "'";
        const InstallerRun second =
            RunInstaller(home.Path(), CERTINSTALL_PATH, round % 2 ? otherData : "");
        other.join();
        EXPECT_EQ(first.output, kDone);
        EXPECT_EQ(second.output, kDone);
        for (const fs::path& database : databases) {
            // Listed line by line: a certificate stored twice shows twice.
            EXPECT_EQ(Lines(RunCommand("certutil -L" + In(database)), 2).size(), 14u) << database;
            EXPECT_EQ(Lines(Crls(database), 1).size(), 6u) << database;
        }
    }
}

// While another installer holds the databases' lock, no database takes anything, though the
// adds go into all of them at once; the run waits for it once and then says who holds them.
// Databases that hold the bundle already need no lock: a run then finds nothing to add.
TEST_F(NssDatabases, ALockHeldElsewhereLeavesEveryDatabaseAsItWas) {
    const fs::path profile = MakeProfile(home_ / ".mozilla" / "firefox");
    MakeDatabase(Shared());
    const auto holdingTheLock = [&] {
        const int lock =
            open((home_ / ".pki" / "certinstall.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_EQ(flock(lock, LOCK_EX), 0);
        const InstallerRun run = Install("timeout 60");
        close(lock);
        return run;
    };
    const InstallerRun run = holdingTheLock();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_GT(Occurrences(run.output, "Код: 11.\nAnother installer is at work"), 1) << run.output;
    for (const fs::path& database : {Shared(), profile}) {
        EXPECT_TRUE(Certificates(database).empty()) << database;
        EXPECT_TRUE(Lines(Crls(database), 1).empty()) << database;
    }
    EXPECT_EQ(Install().output, kDone);
    ExpectTheBundle(Shared());
    ExpectTheBundle(profile);
    EXPECT_EQ(holdingTheLock().output, kDone);
}

// A remove takes out of the database exactly the bundle's certificates and CRLs, with their
// trust, and nothing of the user's: an authority with its own trust, a certificate of a bundle
// certificate's subject but other bytes, a CRL of another issuer. Before it, the service finds
// each certificate there, trusted as certutil lists it; after it, nowhere; a second remove
// finds nothing to do and changes nothing.
TEST_F(NssDatabases, RemovingTakesOutTheBundleAlone) {
    MakeDatabase(Shared());
    const std::string own = (scratch_ / "own").string();
    RunCommand("openssl req -x509 -utf8 -newkey rsa:2048 -nodes -keyout '" + own +
               ".key' -subj '/CN=Мой УЦ' -outform DER -out '" + own + ".der' 2>/dev/null");
    RunCommand("openssl x509 -inform DER -in '" + bundle_.at("CA\\ca11.cer").string() +
               "' -signkey '" + own + ".key' -set_serial 77 -outform DER -out '" + own +
               "-twin.der' 2>/dev/null");
    const auto add = [&](const std::string& nickname, const std::string& trust,
                         const fs::path& file) {
        RunCommand("certutil -A -n '" + nickname + "' -t '" + trust + "' -i '" + file.string() +
                   "'" + In(Shared()));
    };
    add("Мой УЦ", "CT,C,", own + ".der");
    add("Двойник", ",,", own + "-twin.der");
    const fs::path crl = scratch_ / "crl";
    WriteFile(crl, IssuedCrl(scratch_ / "issuer", "/CN=Издатель пользователя"));
    RunCommand("crlutil -I -B -i '" + crl.string() + "'" + In(Shared()));
    const Listing users = Certificates(Shared());
    const std::string usersCrls = Crls(Shared());
    ASSERT_EQ(users.size(), 2u);
    // Bundle certificates the user trusts, though the store does not, and distrusts.
    add("Мой подчинённый", "C,,", bundle_.at("CA\\ca12.cer"));
    add("Недоверенный", "p,p,p", bundle_.at("CA\\root3.cer"));

    EXPECT_EQ(Install().output, kDone);
    const auto trusts = TrustsByBytes(Shared());
    auto found = FoundIn(Shared());
    EXPECT_EQ(found.size(), 14u + 6u);
    int listed = 0;
    for (const auto& [der, place] : found) {
        SCOPED_TRACE(trusts.count(der) ? trusts.at(der) : "(a CRL)");
        listed += trusts.count(der);
        EXPECT_TRUE(place.present);
        EXPECT_EQ(place.trusted, trusts.count(der) &&
                                     trusts.at(der).substr(0, trusts.at(der).find(',')).find('C') !=
                                         std::string::npos);
    }
    EXPECT_EQ(listed, 14);

    EXPECT_TRUE(RemoveTheBundle().empty());
    EXPECT_EQ(Certificates(Shared()), users);
    EXPECT_EQ(Crls(Shared()), usersCrls);
    // Neither is any trust left behind for the authorities, should they come from elsewhere.
    std::string authorities;
    for (const auto& [entry, file] : bundle_)
        if (!entry.ends_with(".crl") &&
            std::count(endEntities_.begin(), endEntities_.end(), file) == 0)
            authorities += " '" + file.string() + "'";
    for (const fs::path& certificate : endEntities_)
        EXPECT_FALSE(Verifies(Shared(), certificate, authorities)) << certificate;
    const fs::path stores = StoresIn(home_.Path());
    for (const char* store : {"ROOT", "CA", "AddressBook"})
        EXPECT_EQ(CountStore(stores / store), (StoreCount{0, 0})) << store;
    found = FoundIn(Shared());
    EXPECT_EQ(found.size(), 14u + 6u);
    for (const auto& [der, place] : found)
        EXPECT_FALSE(place.present || place.trusted);

    const std::string database = ReadFile(Shared() / "cert9.db");
    EXPECT_TRUE(RemoveTheBundle().empty());
    EXPECT_EQ(ReadFile(Shared() / "cert9.db"), database);
    EXPECT_EQ(Certificates(Shared()), users);
}

// A database that will not open fails the remove, said once by its program and folder; every
// other database is emptied of the bundle all the same.
TEST_F(NssDatabases, ADatabaseThatWillNotOpenFailsTheRemoveOnce) {
    const fs::path profile = MakeProfile(home_ / ".mozilla" / "firefox");
    MakeDatabase(Shared());
    EXPECT_EQ(Install().output, kDone);
    WriteFile(profile / "cert9.db", "not a database");
    const std::vector<std::u16string> failures = RemoveTheBundle();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(
        platform::WideToUtf8(failures[0]).find("Firefox profile database " + profile.string()),
        std::string::npos)
        << platform::WideToUtf8(failures[0]);
    EXPECT_TRUE(Certificates(Shared()).empty());
    EXPECT_EQ(Lines(Crls(Shared()), 1).size(), 0u);
}
