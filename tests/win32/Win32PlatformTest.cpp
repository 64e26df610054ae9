// The platform services on the Windows API, as the engine and the installer use them.
#include "platform/CertStore.h"
#include "platform/CodePages.h"
#include "platform/MemoryStatus.h"
#include "platform/Resources.h"
#include "runtime/Cp1251Literal.h"
#include "runtime/Exception.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Win32Resources, TheBundleByNameAndNothingElse) {
    const std::string bundle = LoadRawResource("ROOTS");
    EXPECT_EQ(bundle.size(), 17634u);
    EXPECT_EQ(bundle.substr(0, 4), "PK\3\4");
    EXPECT_TRUE(LoadRawResource("NOT-THERE").empty());
}

TEST(Win32CodePages, RussianSystemPages) {
    if (UserDefaultLCID() != kLocaleRussian)
        GTEST_SKIP() << "the user's locale is " << UserDefaultLCID();
    EXPECT_EQ(OemToAnsi("\x91\xab\xe3\xa6\xa1\xa0 \xf0"), CP1251("Служба Ё"));
    EXPECT_EQ(AnsiToWide(CP1251("Ёж")), u"Ёж");
    EXPECT_EQ(WideToAnsi(u"Ёж日"), CP1251("Ёж?"));
    EXPECT_EQ(Utf8ToAnsi("Ёж"), CP1251("Ёж"));
    EXPECT_EQ(AnsiToUtf8(CP1251("Ёж")), "Ёж");
    EXPECT_EQ(AnsiUpperCase(CP1251("ёжик.crl")), CP1251("ЁЖИК.CRL"));
    EXPECT_EQ(AnsiLowerChar(CP1251("Я")[0]), CP1251("я")[0]);
    EXPECT_EQ(CompareAnsiChar('a', 'A', true), 0);
    EXPECT_LT(CompareAnsiChar(CP1251("а")[0], CP1251("б")[0], false), 0);
}

TEST(Win32Memory, SomethingIsAvailable) {
    EXPECT_GT(AvailablePhysicalMemory(), 0u);
}

TEST(Win32CertStore, AddTwiceNamesAndErrorText) {
    TUnZip bundle;
    bundle.LoadFromString(LoadRawResource("ROOTS"), false);
    std::string name, der;
    bundle.GetEntry(0, name, der);
    ASSERT_EQ(name.substr(name.size() - 4), ".cer");

    ICertStoreService& service = SystemCertStoreService();
    const HCERTSTORE store = service.CertOpenSystemStoreA("certinstall-test");
    ASSERT_NE(store, 0u);
    const PCCERT_CONTEXT certificate = service.CertCreateCertificateContext(
        X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<const unsigned char*>(der.data()),
        static_cast<uint32_t>(der.size()));
    ASSERT_NE(certificate, 0u);
    char subject[1024];
    EXPECT_GT(service.CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, subject,
                                         sizeof(subject)),
              1u);
    EXPECT_TRUE(service.CertFindExtension(szOID_BASIC_CONSTRAINTS2, certificate));
    EXPECT_FALSE(service.CertFindExtension("1.2.3.4", certificate));

    service.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_REPLACE_EXISTING);
    EXPECT_FALSE(service.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW));
    EXPECT_EQ(service.GetLastError(), CRYPT_E_EXISTS);
    const EWin32Error error(static_cast<int32_t>(CRYPT_E_EXISTS),
                            service.ErrorText(CRYPT_E_EXISTS));
    EXPECT_EQ(std::string(error.what()).rfind(CP1251("Ошибка Win32.  Код: -2146885627.\n"), 0), 0u)
        << error.what();
    service.CertFreeCertificateContext(certificate);
    service.CertCloseStore(store, 0);

    EXPECT_EQ(service.CertCreateCertificateContext(X509_ASN_ENCODING,
                                                   reinterpret_cast<const unsigned char*>("x"), 1),
              0u);
}
