// The certificate stores of the system on Linux: decoding, display names, equality, the files
// they keep and what a remove leaves of them.
#include "InstallerRun.h"
#include "TestTools.h"
#include "runtime/Cp1251Literal.h"
#include "stores/CertStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

using namespace platform;
using namespace test;
namespace fs = std::filesystem;

namespace {

class PosixStores : public ::testing::Test {
protected:
    // A self-signed certificate in DER with the subject and extra options of openssl req.
    std::string Certificate(const std::string& subject, const std::string& extra = "") {
        const std::string base = (dir_.Path() / ("c" + std::to_string(++made_))).string();
        RunCommand("openssl req -x509 -utf8 -newkey rsa:2048 -nodes -keyout '" + base +
                   ".key' -subj '" + subject + "' " + extra + " -days 30 -outform DER -out '" +
                   base + ".der' 2>/dev/null");
        if (key_.empty())
            key_ = base + ".key";
        return ReadFile(base + ".der");
    }

    std::string Crl(const std::string& subject) {
        return IssuedCrl(dir_.Path() / ("crl" + std::to_string(++made_)), subject);
    }

    std::string Name(const std::string& der, bool issuer = false) {
        ICertStoreService& s = SystemCertStoreService();
        const auto cert = s.CertCreateCertificateContext(
            X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, Bytes(der), static_cast<uint32_t>(der.size()));
        EXPECT_NE(cert, 0u);
        char buffer[1024];
        s.CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, issuer ? 1 : 0, buffer, 1024);
        s.CertFreeCertificateContext(cert);
        return buffer;
    }

    static const unsigned char* Bytes(const std::string& s) {
        return reinterpret_cast<const unsigned char*>(s.data());
    }
    fs::path Store(const std::string& name) const {
        return dir_.Path() / "certinstall" / "stores" / name;
    }

    TempDir dir_;
    const ThrowAwayUser user_{dir_.Path()};
    std::string key_;
    int made_ = 0;
};

} // namespace

TEST_F(PosixStores, SimpleDisplayNames) {
    EXPECT_EQ(Name(Certificate("/O=Org/OU=Unit/CN=Common")), "Common");
    EXPECT_EQ(Name(Certificate("/O=Org/OU=Unit")), "Unit");
    EXPECT_EQ(Name(Certificate("/C=RU/O=Org")), "Org");
    EXPECT_EQ(Name(Certificate("/C=RU/emailAddress=a@example.org")), "a@example.org");
    EXPECT_EQ(Name(Certificate("/C=RU", "-addext subjectAltName=DNS:host.example.org")),
              "host.example.org");
    EXPECT_EQ(Name(Certificate("/CN=Корневой 中")), CP1251("Корневой ?"));
    EXPECT_EQ(Name(Certificate("/CN=Self"), true), "Self");
}

TEST_F(PosixStores, NamesAreCutToTheBuffer) {
    ICertStoreService& s = SystemCertStoreService();
    const std::string der = Certificate("/CN=Twelve chars");
    const auto cert =
        s.CertCreateCertificateContext(1, Bytes(der), static_cast<uint32_t>(der.size()));
    char buffer[8];
    EXPECT_EQ(s.CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, buffer, 8), 8u);
    EXPECT_STREQ(buffer, "Twelve ");
    s.CertFreeCertificateContext(cert);
}

TEST_F(PosixStores, EqualCertificatesAreRefusedAndCrlsOfOneIssuerReplaced) {
    ICertStoreService& s = SystemCertStoreService();
    const std::string a = Certificate("/CN=Same name"), b = Certificate("/CN=Same name");
    const HCERTSTORE store = s.CertOpenSystemStoreA("CA");
    auto add = [&](const std::string& der) {
        const auto cert =
            s.CertCreateCertificateContext(1, Bytes(der), static_cast<uint32_t>(der.size()));
        const bool added = s.CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_NEW);
        s.CertFreeCertificateContext(cert);
        return added;
    };
    EXPECT_TRUE(add(a));
    EXPECT_FALSE(add(a));
    EXPECT_EQ(s.GetLastError(), CRYPT_E_EXISTS);
    EXPECT_TRUE(add(b)); // same subject, other bytes: a second file of that hash
    const std::string first = Crl("/CN=Issuer"), second = Crl("/CN=Issuer"),
                      other = Crl("/CN=Other");
    for (const std::string& der : {first, second, other}) {
        const auto crl = s.CertCreateCRLContext(1, Bytes(der), static_cast<uint32_t>(der.size()));
        ASSERT_NE(crl, 0u);
        EXPECT_TRUE(s.CertAddCRLContextToStore(store, crl, CERT_STORE_ADD_REPLACE_EXISTING));
        s.CertFreeCRLContext(crl);
    }
    s.CertCloseStore(store, 0);
    int certificates = 0;
    std::set<std::string> crls; // as openssl reads them
    for (const auto& entry : fs::directory_iterator(Store("CA"))) {
        const std::string name = entry.path().filename().string();
        certificates += name.find(".r") == std::string::npos && name[0] != '.';
        if (name.find(".r") != std::string::npos)
            crls.insert(RunCommand("openssl crl -outform DER -in '" + entry.path().string() + "'"));
    }
    EXPECT_EQ(certificates, 2);
    EXPECT_EQ(crls, (std::set<std::string>{second, other})); // the issuer's later one replaced
    EXPECT_EQ(s.CertCreateCertificateContext(1, Bytes("junk"), 4), 0u);
    EXPECT_EQ(s.CertCreateCRLContext(1, Bytes(a), static_cast<uint32_t>(a.size())), 0u);
}

// A removed certificate's place in its hash's run of files is taken by the run's last one, so
// that OpenSSL, which looks no further than the first number missing, still finds the other;
// a second remove finds nothing to do and writes nothing.
TEST_F(PosixStores, RemovingKeepsTheRestOfTheFolderFound) {
    ICertStoreService& s = SystemCertStoreService();
    const std::string a = Certificate("/CN=Same name"), b = Certificate("/CN=Same name"),
                      crl = Crl("/CN=Issuer");
    const auto verifies = [&](const std::string& der) {
        WriteFile(dir_ / "verified.der", der);
        const std::string command = "openssl verify -no-CAfile -no-CAstore -CApath '" +
                                    Store("ROOT").string() + "' '" +
                                    (dir_ / "verified.der").string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    };
    const HCERTSTORE root = s.CertOpenSystemStoreA("ROOT"), ca = s.CertOpenSystemStoreA("CA");
    const auto cert = [&](const std::string& der) {
        return s.CertCreateCertificateContext(1, Bytes(der), static_cast<uint32_t>(der.size()));
    };
    const PCCERT_CONTEXT first = cert(a), second = cert(b);
    const PCCRL_CONTEXT list =
        s.CertCreateCRLContext(1, Bytes(crl), static_cast<uint32_t>(crl.size()));
    ASSERT_TRUE(s.CertAddCertificateContextToStore(root, first, CERT_STORE_ADD_NEW));
    ASSERT_TRUE(s.CertAddCertificateContextToStore(root, second, CERT_STORE_ADD_NEW));
    ASSERT_TRUE(s.CertAddCertificateContextToStore(ca, first, CERT_STORE_ADD_NEW));
    ASSERT_TRUE(s.CertAddCRLContextToStore(root, list, CERT_STORE_ADD_REPLACE_EXISTING));
    EXPECT_TRUE(verifies(a));
    EXPECT_TRUE(verifies(b));
    // The folder first, by its path; trusted in "ROOT" alone.
    const auto folderOf = [&](const std::vector<TStorePlace>& places) {
        return places.empty() ? TStorePlace{} : places.front();
    };
    EXPECT_EQ(folderOf(s.CertFindInStore(root, first)).place, Store("ROOT").string());
    EXPECT_TRUE(folderOf(s.CertFindInStore(root, first)).trusted);
    EXPECT_TRUE(folderOf(s.CertFindInStore(ca, first)).present);
    EXPECT_FALSE(folderOf(s.CertFindInStore(ca, first)).trusted);
    EXPECT_FALSE(folderOf(s.CertFindInStore(ca, second)).present);
    EXPECT_TRUE(folderOf(s.CrlFindInStore(root, list)).present);
    EXPECT_FALSE(folderOf(s.CrlFindInStore(root, list)).trusted);

    EXPECT_TRUE(s.CertDeleteFromStore(root, first));
    EXPECT_TRUE(s.CrlDeleteFromStore(root, list));
    EXPECT_FALSE(verifies(a));
    EXPECT_TRUE(verifies(b));
    EXPECT_EQ(CountStore(Store("ROOT")), (StoreCount{1, 0}));
    EXPECT_FALSE(folderOf(s.CertFindInStore(root, first)).present);
    EXPECT_FALSE(folderOf(s.CertFindInStore(root, first)).trusted);
    EXPECT_TRUE(folderOf(s.CertFindInStore(root, second)).trusted);
    EXPECT_TRUE(folderOf(s.CertFindInStore(ca, first)).present);
    EXPECT_FALSE(folderOf(s.CrlFindInStore(root, list)).present);

    const auto files = [&] {
        std::map<std::string, std::string> contents;
        for (const auto& entry : fs::directory_iterator(Store("ROOT")))
            contents[entry.path().filename()] = ReadFile(entry.path());
        return contents;
    };
    const auto before = files();
    EXPECT_TRUE(s.CertDeleteFromStore(root, first));
    EXPECT_TRUE(s.CrlDeleteFromStore(root, list));
    EXPECT_EQ(files(), before);
    s.CertFreeCertificateContext(first);
    s.CertFreeCertificateContext(second);
    s.CertFreeCRLContext(list);
    s.CertCloseStore(root, 0);
    s.CertCloseStore(ca, 0);
}
