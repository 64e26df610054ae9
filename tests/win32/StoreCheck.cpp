// After an installation: every bundle certificate is in "CA", a self-issued one in "ROOT" as
// well, none in "AddressBook", and every store holds each bundle CRL, each exactly once; after
// a removal, none of them is anywhere. Self-issued is judged here by the whole distinguished
// names, apart from the installer's own rule. Exits 0 when all holds; prints what does not.
//   storecheck [machine] [removed]
// "machine" reads the computer's stores instead of the user's.
#include "platform/Resources.h"
#include "unzip/uzip.h"

#include <windows.h>

#include <wincrypt.h> // after windows.h, which it needs

#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace {

using Thumbprint = std::string;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

Thumbprint Sha1Of(const std::string& der) {
    std::array<BYTE, 20> hash{};
    DWORD size = hash.size();
    CryptHashCertificate(0, CALG_SHA1, 0, reinterpret_cast<const BYTE*>(der.data()),
                         static_cast<DWORD>(der.size()), hash.data(), &size);
    return Thumbprint(hash.begin(), hash.end());
}

// How many times each thumbprint is in the store, certificates and CRLs apart.
struct StoreContents {
    std::map<Thumbprint, int> certificates, crls;
};

int Times(const std::map<Thumbprint, int>& held, const Thumbprint& thumbprint) {
    const auto found = held.find(thumbprint);
    return found == held.end() ? 0 : found->second;
}

StoreContents Read(const char* name, bool machine) {
    StoreContents contents;
    const HCERTSTORE store =
        machine ? CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, name)
                : CertOpenSystemStoreA(0, name);
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));)
        ++contents.certificates[Sha1Of(
            std::string(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded))];
    for (PCCRL_CONTEXT c = nullptr; (c = CertEnumCRLsInStore(store, c));)
        ++contents.crls[Sha1Of(
            std::string(reinterpret_cast<const char*>(c->pbCrlEncoded), c->cbCrlEncoded))];
    CertCloseStore(store, 0);
    return contents;
}

int failures = 0;

void Expect(bool holds, const std::string& what) {
    if (!holds) {
        std::printf("%s\n", what.c_str());
        ++failures;
    }
}

bool SelfIssued(const std::string& der) {
    const PCCERT_CONTEXT c = CertCreateCertificateContext(
        kEncoding, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
    const bool self = CertCompareCertificateName(kEncoding, &c->pCertInfo->Subject,
                                                 &c->pCertInfo->Issuer) != FALSE;
    CertFreeCertificateContext(c);
    return self;
}

} // namespace

int main(int argc, char** argv) {
    const std::set<std::string> options(argv + 1, argv + argc);
    const bool machine = options.count("machine"), removed = options.count("removed");
    // How many times the object is to be there: as installed, or not at all.
    const auto installed = [&](int times) { return removed ? 0 : times; };
    TUnZip bundle;
    bundle.LoadFromString(platform::LoadRawResource("ROOTS"), false);
    const std::map<std::string, StoreContents> stores = {
        {"ROOT", Read("ROOT", machine)},
        {"CA", Read("CA", machine)},
        {"AddressBook", Read("AddressBook", machine)}};
    int certificates = 0, selfIssued = 0, crls = 0;
    for (int32_t i = 0; i < bundle.Count(); ++i) {
        std::string name, der;
        bundle.GetEntry(i, name, der);
        const Thumbprint thumbprint = Sha1Of(der);
        const bool crl = name.size() > 4 && name.substr(name.size() - 4) == ".crl";
        if (crl) {
            ++crls;
            for (const auto& [store, contents] : stores)
                Expect(Times(contents.crls, thumbprint) == installed(1),
                       name + ": wrong in " + store);
            continue;
        }
        ++certificates;
        const bool self = SelfIssued(der);
        selfIssued += self;
        const auto times = [&](const char* store) {
            return Times(stores.at(store).certificates, thumbprint);
        };
        Expect(times("CA") == installed(1), name + ": wrong in CA");
        Expect(times("ROOT") == installed(self ? 1 : 0), name + ": wrong in ROOT");
        Expect(times("AddressBook") == 0, name + ": in AddressBook");
    }
    Expect(certificates == 14 && selfIssued == 3 && crls == 6,
           "the bundle is not the one expected");
    std::printf("%d certificates (%d self-issued) and %d CRLs checked: %s\n", certificates,
                selfIssued, crls, failures ? "FAILED" : "OK");
    return failures ? 1 : 0;
}
