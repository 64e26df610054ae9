// The platform services on the Windows API, as the engine and the installer use them.
#include "archive/ZAConst.h"
#include "archive/ZAExcept.h"
#include "installer/ShownMessage.h"
#include "platform/CodePages.h"
#include "platform/MemoryStatus.h"
#include "platform/Resources.h"
#include "runtime/Cp1251Literal.h"
#include "runtime/Exception.h"
#include "stores/CertStore.h"
#include "unzip/uzip.h"

// After the service's header, whose names the Windows headers define as macros; without
// wincrypt.h, whose types the service's names would meet.
#define WIN32_LEAN_AND_MEAN
#include "StoreAccess.h"
#undef OemToAnsi // an old name of the system's, which would rename ours

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

namespace {

// The first entry of the bundle with that extension, decoded by the service.
uintptr_t FirstOfBundle(const std::string& extension) {
    TUnZip bundle;
    bundle.LoadFromString(LoadRawResource("ROOTS"), false);
    ICertStoreService& service = SystemCertStoreService();
    for (int32_t i = 0; i < bundle.Count(); ++i) {
        std::string name, der;
        bundle.GetEntry(i, name, der);
        const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
        const auto size = static_cast<uint32_t>(der.size());
        const uint32_t encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
        if (name.ends_with(extension))
            return extension == ".crl"
                       ? service.CertCreateCRLContext(encoding, bytes, size)
                       : service.CertCreateCertificateContext(encoding, bytes, size);
    }
    return 0;
}

} // namespace

// crypt32 takes adds to a store that never opened for successes; here they fail as the open
// did, so that nothing is reported as installed that is not.
TEST(Win32CertStore, AStoreThatDidNotOpenFailsEveryAddWithTheOpensError) {
    ASSERT_EQ(SetStoreAccess(L"certinstall-denied", false), ERROR_SUCCESS);
    ICertStoreService& service = SystemCertStoreService();
    const HCERTSTORE store = service.CertOpenSystemStoreA("certinstall-denied");
    const PCCERT_CONTEXT certificate = FirstOfBundle(".cer");
    const PCCRL_CONTEXT crl = FirstOfBundle(".crl");
    ASSERT_NE(certificate, 0u);
    ASSERT_NE(crl, 0u);

    EXPECT_FALSE(service.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW));
    EXPECT_EQ(service.GetLastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(service.CertAddCRLContextToStore(store, crl, CERT_STORE_ADD_REPLACE_EXISTING));
    EXPECT_EQ(service.GetLastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));

    service.CertFreeCertificateContext(certificate);
    service.CertFreeCRLContext(crl);
    service.CertCloseStore(store, 0);
    EXPECT_EQ(SetStoreAccess(L"certinstall-denied", true), ERROR_SUCCESS);
}

// The engine's messages carry item names in the system's ANSI code page, whichever that is.
TEST(Win32Text, EngineMessagesWithItemNamesReadAsTheSystemWroteThem) {
    const std::u16string name = GetACP() == 1251 ? u"Ёжик.cer" : u"Café.cer";
    const std::string ansi = WideToAnsi(name);
    ASSERT_EQ(AnsiToWide(ansi), name) << "the system's code page does not hold the name";
    EXPECT_EQ(
        ShownMessage(EZAException::CreateWithArgs(za::neArchiveFileNotFound, nullptr, {ansi})),
        u"File \"" + name + u"\" not found - Native error: 00012");
}
