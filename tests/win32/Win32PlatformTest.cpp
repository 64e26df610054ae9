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
// The shell's own answer, declared here: its header brings wincrypt.h.
extern "C" __declspec(dllimport) BOOL WINAPI IsUserAnAdmin();

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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

constexpr uint32_t kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The bytes of the bundle's entries with that extension, in the bundle's order.
std::vector<std::string> BundleEntries(const std::string& extension) {
    TUnZip bundle;
    bundle.LoadFromString(LoadRawResource("ROOTS"), false);
    std::vector<std::string> entries;
    for (int32_t i = 0; i < bundle.Count(); ++i) {
        std::string name, der;
        bundle.GetEntry(i, name, der);
        if (name.ends_with(extension))
            entries.push_back(der);
    }
    return entries;
}

// A certificate's or a CRL's bytes decoded by the service.
uintptr_t Decode(ICertStoreService& service, const std::string& der, bool crl) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    const auto size = static_cast<uint32_t>(der.size());
    return crl ? service.CertCreateCRLContext(kEncoding, bytes, size)
               : service.CertCreateCertificateContext(kEncoding, bytes, size);
}

// The first entry of the bundle with that extension, decoded by the service.
uintptr_t FirstOfBundle(const std::string& extension) {
    return Decode(SystemCertStoreService(), BundleEntries(extension).at(0), extension == ".crl");
}

} // namespace

namespace platform {

bool operator==(const TStorePlace& a, const TStorePlace& b) {
    return a.place == b.place && a.present == b.present && a.trusted == b.trusted;
}

void PrintTo(const TStorePlace& place, std::ostream* out) {
    *out << place.place << (place.present ? " present" : " missing")
         << (place.trusted ? " trusted" : "");
}

} // namespace platform

// crypt32 takes adds to a store that never opened for successes; here they, and deletes, fail
// as the open did, so that nothing is reported as installed or removed that is not, and
// nothing is found there.
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
    const TStorePlace missing{"CurrentUser\\certinstall-denied", false, false};
    EXPECT_EQ(service.CertFindInStore(store, certificate), std::vector{missing});
    EXPECT_EQ(service.CrlFindInStore(store, crl), std::vector{missing});
    SetLastError(0);
    EXPECT_FALSE(service.CertDeleteFromStore(store, certificate));
    EXPECT_EQ(service.GetLastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(service.CrlDeleteFromStore(store, crl));
    EXPECT_EQ(service.GetLastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));

    service.CertFreeCertificateContext(certificate);
    service.CertFreeCRLContext(crl);
    service.CertCloseStore(store, 0);
    EXPECT_EQ(SetStoreAccess(L"certinstall-denied", true), ERROR_SUCCESS);
}

namespace {

// How many objects with exactly these bytes the registry keeps in that system store: crypt32
// keeps each certificate or CRL under a key of its own, whose value "Blob" holds its bytes
// among its properties.
int TimesInRegistry(HKEY scope, const std::string& store, const std::string& der, bool crl) {
    const std::string path =
        "Software\\Microsoft\\SystemCertificates\\" + store + (crl ? "\\CRLs" : "\\Certificates");
    HKEY objects;
    if (RegOpenKeyExA(scope, path.c_str(), 0, KEY_READ, &objects) != ERROR_SUCCESS)
        return 0;
    int times = 0;
    char name[256];
    for (DWORD i = 0, length = sizeof(name);
         RegEnumKeyExA(objects, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
         ++i, length = sizeof(name)) {
        DWORD size = 0;
        RegGetValueA(objects, name, "Blob", RRF_RT_REG_BINARY, nullptr, nullptr, &size);
        std::string blob(size, '\0');
        RegGetValueA(objects, name, "Blob", RRF_RT_REG_BINARY, nullptr, blob.data(), &size);
        times += blob.find(der) != std::string::npos;
    }
    RegCloseKey(objects);
    return times;
}

// The same bytes but the last, which is the signature's: the issuer and the serial number by
// which crypt32 finds an object stay those of the original.
std::string Forged(std::string der) {
    der.back() ^= 1;
    return der;
}

// Adds beside what crypt32 would take for the same object (CERT_STORE_ADD_ALWAYS).
constexpr uint32_t kAddAlways = 4;

// The service's calls for certificates or for CRLs, which the rows below make alike.
struct Objects {
    ICertStoreService& service;
    bool crl;

    bool Add(HCERTSTORE store, uintptr_t object) const {
        return crl ? service.CertAddCRLContextToStore(store, object, kAddAlways)
                   : service.CertAddCertificateContextToStore(store, object, kAddAlways);
    }
    std::vector<TStorePlace> Find(HCERTSTORE store, uintptr_t object) const {
        return crl ? service.CrlFindInStore(store, object) : service.CertFindInStore(store, object);
    }
    bool Delete(HCERTSTORE store, uintptr_t object) const {
        return crl ? service.CrlDeleteFromStore(store, object)
                   : service.CertDeleteFromStore(store, object);
    }
    void Free(uintptr_t object) const {
        crl ? service.CertFreeCRLContext(object) : service.CertFreeCertificateContext(object);
    }
};

} // namespace

namespace {

// Certificates and CRLs: the bundle's first and second of each kind.
class Win32StoreObjects : public testing::TestWithParam<bool> {
protected:
    const bool crl_ = GetParam();
    const std::vector<std::string> entries_ = BundleEntries(crl_ ? ".crl" : ".cer");
};

} // namespace

// In the computer's "ROOT": found and taken out by its bytes, beside an object that crypt32
// takes for the same one and another that was there before, as the registry under
// HKEY_LOCAL_MACHINE shows; the user's keys see none of it.
TEST_P(Win32StoreObjects, TheComputersRootFindsAndDeletesByTheBytes) {
    const Objects objects{SystemCertStoreService(TStoreScope::LocalMachine), crl_};
    const std::string wanted = entries_.at(0), other = entries_.at(1), forged = Forged(wanted);
    const auto inMachine = [&](const std::string& der) {
        return TimesInRegistry(HKEY_LOCAL_MACHINE, "ROOT", der, crl_);
    };
    const HCERTSTORE store = objects.service.CertOpenSystemStoreA("ROOT");
    const uintptr_t object = Decode(objects.service, wanted, crl_);
    const uintptr_t otherObject = Decode(objects.service, other, crl_);
    const uintptr_t forgedObject = Decode(objects.service, forged, crl_);
    ASSERT_NE(forgedObject, 0u);
    ASSERT_EQ(inMachine(wanted), 0);
    const TStorePlace missing{"LocalMachine\\ROOT", false, false};

    ASSERT_TRUE(objects.Add(store, otherObject));
    ASSERT_TRUE(objects.Add(store, forgedObject));
    ASSERT_EQ(inMachine(forged), 1);
    EXPECT_EQ(objects.Find(store, object), std::vector{missing});
    EXPECT_TRUE(objects.Delete(store, object));
    EXPECT_EQ(inMachine(forged), 1);

    ASSERT_TRUE(objects.Add(store, object));
    EXPECT_EQ(inMachine(wanted), 1);
    EXPECT_EQ(TimesInRegistry(HKEY_CURRENT_USER, "ROOT", wanted, crl_), 0);
    const TStorePlace present{"LocalMachine\\ROOT", true, !crl_};
    EXPECT_EQ(objects.Find(store, object), std::vector{present});

    for (int time = 1; time <= 2; ++time) {
        EXPECT_TRUE(objects.Delete(store, object)) << "delete " << time;
        EXPECT_EQ(inMachine(wanted), 0) << "delete " << time;
        EXPECT_EQ(inMachine(forged), 1) << "delete " << time;
        EXPECT_EQ(inMachine(other), 1) << "delete " << time;
        EXPECT_EQ(objects.Find(store, object), std::vector{missing}) << "delete " << time;
    }

    EXPECT_TRUE(objects.Delete(store, forgedObject));
    EXPECT_TRUE(objects.Delete(store, otherObject));
    EXPECT_EQ(inMachine(forged) + inMachine(other), 0);
    for (const uintptr_t each : {object, otherObject, forgedObject})
        objects.Free(each);
    objects.service.CertCloseStore(store, 0);
}

// The user's stores open as they always have, into HKEY_CURRENT_USER; only "ROOT" trusts.
TEST_P(Win32StoreObjects, TheUsersStoresStayTheUsers) {
    const Objects objects{SystemCertStoreService(), crl_};
    const std::string& wanted = entries_.at(0);
    const HCERTSTORE store = objects.service.CertOpenSystemStoreA("CA");
    const uintptr_t object = Decode(objects.service, wanted, crl_);
    objects.Delete(store, object);

    ASSERT_TRUE(objects.Add(store, object));
    EXPECT_EQ(TimesInRegistry(HKEY_CURRENT_USER, "CA", wanted, crl_), 1);
    EXPECT_EQ(TimesInRegistry(HKEY_LOCAL_MACHINE, "CA", wanted, crl_), 0);
    const TStorePlace present{"CurrentUser\\CA", true, false};
    EXPECT_EQ(objects.Find(store, object), std::vector{present});
    EXPECT_TRUE(objects.Delete(store, object));
    EXPECT_EQ(TimesInRegistry(HKEY_CURRENT_USER, "CA", wanted, crl_), 0);

    objects.Free(object);
    objects.service.CertCloseStore(store, 0);
}

// Two objects in and out of the store, again and again, through the same opened store.
TEST_P(Win32StoreObjects, TheComputersRootTakesObjectsInAndOutAgain) {
    const Objects objects{SystemCertStoreService(TStoreScope::LocalMachine), crl_};
    const HCERTSTORE store = objects.service.CertOpenSystemStoreA("ROOT");
    const uintptr_t first = Decode(objects.service, entries_.at(0), crl_);
    const uintptr_t second = Decode(objects.service, entries_.at(1), crl_);
    for (int time = 1; time <= 3; ++time) {
        EXPECT_TRUE(objects.Add(store, second) && objects.Add(store, first)) << time;
        EXPECT_TRUE(objects.Delete(store, first) && objects.Delete(store, second)) << time;
        EXPECT_EQ(TimesInRegistry(HKEY_LOCAL_MACHINE, "ROOT", entries_.at(1), crl_), 0) << time;
    }
    objects.Free(first);
    objects.Free(second);
    objects.service.CertCloseStore(store, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Win32StoreObjects, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& kind) {
                             return kind.param ? "Crls" : "Certificates";
                         });

// Wine's user is an administrator, as the shell also says.
TEST(Win32AdministratorRights, AsTheShellSays) {
    EXPECT_TRUE(HasAdministratorRights());
    EXPECT_EQ(HasAdministratorRights(), IsUserAnAdmin() != FALSE);
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
