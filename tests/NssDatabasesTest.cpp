// The user's NSS databases after a run, as NSS's own tools see them: certutil's listing and
// trust flags, crlutil's CRLs, and vfychain's path validation, which is what browsers use.
#include "InstallerRun.h"
#include "TestTools.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

#include <cert.h>
#include <nss.h>

#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace test;
namespace fs = std::filesystem;

namespace {

const std::string kDone =
    "[Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"] Установка произведена !\n";
const std::string kRootSubject = "/C=RU/O=ЗАО Тестовый УЦ/CN=Тестовый корневой УЦ ";
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
            bundle_[name] = scratch_ / (std::to_string(i) + ".der");
            WriteFile(bundle_[name], contents);
        }
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

    static Listing Certificates(const fs::path& database) {
        std::istringstream lines(RunCommand("certutil -L" + In(database)));
        Listing listing;
        std::string line;
        for (int header = 0; header < 3 && std::getline(lines, line); ++header) {
        }
        while (std::getline(lines, line)) {
            line.erase(line.find_last_not_of(' ') + 1);
            const size_t gap = line.rfind(' ');
            if (gap == std::string::npos)
                continue;
            const std::string nickname = line.substr(0, line.find_last_not_of(' ', gap) + 1);
            listing[nickname] = line.substr(gap + 1);
        }
        return listing;
    }
    static std::string Crls(const fs::path& database) {
        return RunCommand("crlutil -L" + In(database));
    }
    // One line for each CRL, which ends with its type.
    static int CrlCount(const fs::path& database) {
        std::istringstream lines(Crls(database));
        int count = 0;
        for (std::string line; std::getline(lines, line);) {
            line.erase(line.find_last_not_of(' ') + 1);
            count += line.ends_with(" CRL");
        }
        return count;
    }
    static bool Verifies(const fs::path& database, const fs::path& certificate) {
        return std::system(("vfychain -pp -u 1" + In(database) + " '" + certificate.string() +
                            "' >/dev/null 2>&1")
                               .c_str()) == 0;
    }

    // The bundle's end entities, told by openssl from their basic constraints.
    std::vector<fs::path> EndEntities() const {
        std::vector<fs::path> endEntities;
        for (const auto& [name, file] : bundle_)
            if (!name.ends_with(".crl") &&
                RunCommand("openssl x509 -inform DER -noout -ext basicConstraints -in '" +
                           file.string() + "'")
                        .find("CA:FALSE") != std::string::npos)
                endEntities.push_back(file);
        return endEntities;
    }

    void ExpectTheBundle(const fs::path& database) {
        SCOPED_TRACE(database);
        const Listing listing = Certificates(database);
        EXPECT_EQ(listing.size(), 14u);
        int untrusted = 0;
        for (const auto& [nickname, trust] : listing)
            untrusted += trust == ",,";
        EXPECT_EQ(untrusted, 11);
        for (const char* n : {"1", "2", "3"})
            EXPECT_EQ(listing.count(kRoot + n) ? listing.at(kRoot + n) : "", "C,C,C");
        EXPECT_EQ(CrlCount(database), 6);
        const std::vector<fs::path> endEntities = EndEntities();
        EXPECT_EQ(endEntities.size(), 7u);
        for (const fs::path& certificate : endEntities)
            EXPECT_TRUE(Verifies(database, certificate)) << certificate;
    }

    TempDir home_, scratch_;
    std::map<std::string, fs::path> bundle_; // entry name → its contents in a file
};

} // namespace

TEST_F(NssDatabases, TheSharedOneIsMadeFilledAndLeftAsItIsByASecondRun) {
    EXPECT_EQ(Install().output, kDone);
    struct stat info {};
    ASSERT_EQ(stat(Shared().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ExpectTheBundle(Shared());
    const fs::path empty = scratch_ / "empty";
    MakeDatabase(empty);
    for (const fs::path& certificate : EndEntities())
        EXPECT_FALSE(Verifies(empty, certificate)) << certificate;

    const Listing listed = Certificates(Shared());
    const std::string crls = Crls(Shared());
    EXPECT_EQ(Install().output, kDone);
    EXPECT_EQ(Certificates(Shared()), listed);
    EXPECT_EQ(Crls(Shared()), crls);
}

TEST_F(NssDatabases, ProfilesWithAnSqlDatabaseGetTheSameAndLegacyOnesAreLeftAlone) {
    const fs::path firefox = home_ / ".mozilla" / "firefox";
    const fs::path release = firefox / "Профиль с пробелами.default-release";
    const fs::path legacy = firefox / "old.default";
    const fs::path thunderbird = scratch_ / "mail profile";
    MakeDatabase(release);
    MakeDatabase(thunderbird);
    fs::create_directories(legacy);
    WriteFile(legacy / "cert8.db", "legacy");
    WriteFile(firefox / "profiles.ini",
              "[Install4F96D1932A9F858E]\nDefault=Профиль с пробелами.default-release\nLocked=1\n\n"
              "[Profile1]\nName=old\nIsRelative=1\nPath=old.default\n\n"
              "[Profile0]\nName=default-release\nIsRelative=1\n"
              "Path=Профиль с пробелами.default-release\nDefault=1\n\n"
              "[General]\nStartWithLastProfile=1\nVersion=2\n");
    fs::create_directories(home_ / ".thunderbird");
    WriteFile(home_ / ".thunderbird" / "profiles.ini",
              "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default\r\n"
              "IsRelative=0\r\nPath=" +
                  thunderbird.string() + "\r\n");

    EXPECT_EQ(Install().output, kDone);
    for (const fs::path& database : {Shared(), release, thunderbird})
        ExpectTheBundle(database);
    EXPECT_EQ(std::distance(fs::directory_iterator(legacy), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadFile(legacy / "cert8.db"), "legacy");
}

// A read-only database fails each certificate's add once; the folders keep every add made
// before it, and a run on the writable database completes both without a word.
TEST_F(NssDatabases, AReadOnlyOneFailsEachCertificateOnce) {
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "a read-only mount needs a namespace of its own";
    MakeDatabase(Shared());
    const InstallerRun run =
        Install("unshare -rm sh -c 'mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"' '" +
                Shared().string() + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Occurrences(run.output, "[Ошибка] Ошибка Win32.  Код: -8126.\n"
                                      "security library: read-only database\n"),
              14)
        << run.output;
    EXPECT_NE(run.output.find(kDone), std::string::npos);
    // A root whose add to "ROOT" failed is not added to "CA".
    const fs::path stores = StoresIn(home_.Path());
    EXPECT_EQ(CountStore(stores / "ROOT"), (StoreCount{3, 6}));
    EXPECT_EQ(CountStore(stores / "CA"), (StoreCount{11, 6}));
    EXPECT_EQ(CountStore(stores / "AddressBook"), (StoreCount{0, 6}));
    EXPECT_TRUE(Certificates(Shared()).empty());

    EXPECT_EQ(Install().output, kDone);
    EXPECT_EQ(CountStore(stores / "CA"), (StoreCount{14, 6}));
    ExpectTheBundle(Shared());
}

// What the database held before keeps its nickname and never loses trust; a nickname that a
// certificate of another subject has is numbered.
TEST_F(NssDatabases, TrustIsNeverLoweredAndNicknamesStayUnique) {
    MakeDatabase(Shared());
    const auto add = [&](const std::string& nickname, const std::string& trust,
                         const fs::path& file) {
        RunCommand("certutil -A -n '" + nickname + "' -t '" + trust + "' -i '" + file.string() +
                   "'" + In(Shared()));
    };
    add("Старое имя", "CT,C,", bundle_.at("ROOT\\root1.cer"));
    add("Мой УЦ", "C,,", bundle_.at("CA\\ca12.cer"));
    const fs::path other = scratch_ / "other";
    RunCommand("openssl req -x509 -utf8 -newkey rsa:2048 -nodes -keyout '" + other.string() +
               ".key' -subj '/CN=Подчинённый УЦ 1.1' -days 30 -outform DER -out '" +
               other.string() + ".der' 2>/dev/null");
    add("Подчинённый УЦ 1.1", ",,", other.string() + ".der");

    EXPECT_EQ(Install().output, kDone);
    const Listing listing = Certificates(Shared());
    EXPECT_EQ(listing.size(), 15u);
    EXPECT_EQ(listing.count(kRoot + "1"), 0u);
    const Listing expected{{"Старое имя", "CT,C,C"},
                           {"Мой УЦ", "C,,"},
                           {"Подчинённый УЦ 1.1", ",,"},
                           {"Подчинённый УЦ 1.1 #2", ",,"},
                           {kRoot + "2", "C,C,C"}};
    for (const auto& [nickname, trust] : expected)
        EXPECT_EQ(listing.count(nickname) ? listing.at(nickname) : "(none)", trust) << nickname;
}

// A CRL of the same issuer issued earlier is replaced by the bundle's; one issued later stays.
TEST_F(NssDatabases, OnlyANewerCrlReplacesAnother) {
    MakeDatabase(Shared());
    const auto import = [&](const std::string& root, const std::string& issued) {
        const fs::path base = scratch_ / ("crl" + root);
        IssuedCrl(base, kRootSubject + root, "-crl_lastupdate " + issued);
        RunCommand("crlutil -I -B -i '" + base.string() + ".der'" + In(Shared()));
    };
    import("1", "20200101000000Z");
    import("2", "20400101000000Z");

    EXPECT_EQ(Install().output, kDone);
    EXPECT_EQ(CrlCount(Shared()), 6);
    const auto thisUpdate = [&](const std::string& root) {
        const std::string crl = RunCommand("crlutil -L -n '" + kRoot + root + "'" + In(Shared()));
        const size_t at = crl.find("This Update: ");
        return at == std::string::npos ? crl : crl.substr(at, crl.find('\n', at) - at);
    };
    EXPECT_EQ(thisUpdate("1").find("2020"), std::string::npos) << thisUpdate("1");
    EXPECT_NE(thisUpdate("2").find("2040"), std::string::npos) << thisUpdate("2");
}

// A program that holds the database open, as a running browser does, trusts the new roots at
// its next check of a certificate.
TEST_F(NssDatabases, AProgramWithTheDatabaseOpenSeesTheChange) {
    MakeDatabase(Shared());
    NSSInitContext* context = NSS_InitContext(("sql:" + Shared().string()).c_str(), "", "", "",
                                              nullptr, NSS_INIT_NOROOTINIT | NSS_INIT_NOMODDB);
    ASSERT_NE(context, nullptr);
    const std::string der = ReadFile(EndEntities().front());
    SECItem item{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(der.data())),
                 static_cast<unsigned>(der.size())};
    const auto accepted = [&] {
        CERTCertificate* certificate =
            CERT_NewTempCertificate(CERT_GetDefaultCertDB(), &item, nullptr, PR_FALSE, PR_TRUE);
        const SECStatus status =
            CERT_VerifyCertificateNow(CERT_GetDefaultCertDB(), certificate, PR_TRUE,
                                      certificateUsageSSLServer, nullptr, nullptr);
        CERT_DestroyCertificate(certificate);
        return status == SECSuccess;
    };
    EXPECT_FALSE(accepted());
    EXPECT_EQ(Install().output, kDone);
    EXPECT_TRUE(accepted());
    EXPECT_EQ(NSS_ShutdownContext(context), SECSuccess);
}

TEST_F(NssDatabases, WithoutAHomeNothingIsWritten) {
    const InstallerRun run = Install("env -u HOME");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("HOME"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(StoresIn(home_.Path())));
    EXPECT_FALSE(fs::exists(Shared()));
}
