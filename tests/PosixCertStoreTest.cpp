// The certificate stores of the system on Linux: decoding, display names, equality and the
// files they keep.
#include "InstallerRun.h"
#include "TestTools.h"
#include "runtime/Cp1251Literal.h"
#include "stores/CertStore.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    int certificates = 0, crls = 0;
    for (const auto& entry : fs::directory_iterator(Store("CA"))) {
        const std::string name = entry.path().filename().string();
        certificates += name.find(".r") == std::string::npos && name[0] != '.';
        crls += name.find(".r") != std::string::npos;
    }
    EXPECT_EQ(certificates, 2);
    EXPECT_EQ(crls, 2);
    EXPECT_EQ(s.CertCreateCertificateContext(1, Bytes("junk"), 4), 0u);
    EXPECT_EQ(s.CertCreateCRLContext(1, Bytes(a), static_cast<uint32_t>(a.size())), 0u);
}
