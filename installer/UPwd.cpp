#include "UPwd.h"

#include "ShownMessage.h"
#include "Texts.h"
#include "archive/ZAStrFunc.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"
#include "uCrypt.h"
#include "unzip/uzip.h"

#include <utility>

using namespace platform;

namespace {

// A handle of the store service, released by its owner on every path out of the run.
class THandle {
public:
    THandle(uintptr_t handle, std::function<void(uintptr_t)> release)
        : handle_(handle), release_(std::move(release)) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() { Release(); }

    uintptr_t Get() const { return handle_; }
    void Release() {
        if (handle_)
            release_(std::exchange(handle_, 0));
    }

private:
    uintptr_t handle_;
    std::function<void(uintptr_t)> release_;
};

THandle OpenStore(ICertStoreService& service, const char* name) {
    return THandle(service.CertOpenSystemStoreA(name),
                   [&service](uintptr_t store) { service.CertCloseStore(store, 0); });
}

} // namespace

// The three stores of one run, opened "AddressBook", "CA", "ROOT" and closed "CA", "ROOT",
// "AddressBook", however the run ends.
class TForm1::TStores {
public:
    explicit TStores(ICertStoreService& service)
        : addressBook_(OpenStore(service, "AddressBook")), ca_(OpenStore(service, "CA")),
          root_(OpenStore(service, "ROOT")) {}
    ~TStores() {
        ca_.Release();
        root_.Release();
    }
    HCERTSTORE AddressBook() const { return addressBook_.Get(); }
    HCERTSTORE Ca() const { return ca_.Get(); }
    HCERTSTORE Root() const { return root_.Get(); }

private:
    THandle addressBook_, ca_, root_;
};

TForm1::TForm1(IFormShell& shell, ICertStoreService& stores, TBundleSource bundle)
    : shell_(shell), service_(stores), bundle_(std::move(bundle)) {}

void TForm1::FormActivate(void*) {
    Button1Click(nullptr);
    shell_.CloseMainWindow();
}

void TForm1::Button1Click(void*) {
    const std::string bundle = bundle_();
    if (bundle.empty())
        throw Exception(texts::BundleMissing());
    auto unzip = std::make_unique<TUnZip>();
    unzip->LoadFromString(bundle, false);
    PlaceEntries(std::move(unzip));
    shell_.ShowInfoMessage(texts::InstallationDone());
}

// Every entry into the stores; the entries go first, then the stores close.
void TForm1::PlaceEntries(std::unique_ptr<TUnZip> unzip) {
    const TStores stores(service_);
    for (int32_t i = 0; i < unzip->Count(); ++i) {
        std::string name, contents;
        unzip->GetEntry(i, name, contents);
        if (contents.empty())
            continue;
        if (AnsiLowerCase(za::ExtractFileExt(name)) == ".crl")
            PlaceCrl(stores, contents);
        else
            PlaceCertificate(stores, contents);
    }
    unzip.reset();
}

// A CRL goes to every store, replacing an equal one; nothing about it is reported.
void TForm1::PlaceCrl(const TStores& stores, const std::string& der) {
    const THandle crl(ucrypt::DecodeCrl(service_, der),
                      [this](uintptr_t c) { service_.CertFreeCRLContext(c); });
    if (!crl.Get())
        return;
    for (HCERTSTORE store : {stores.AddressBook(), stores.Ca(), stores.Root()})
        AddCrl(store, crl.Get());
}

void TForm1::AddCrl(HCERTSTORE store, PCCRL_CONTEXT crl) {
    try {
        service_.CertAddCRLContextToStore(store, crl, CERT_STORE_ADD_REPLACE_EXISTING);
    } catch (const std::exception&) {
        // Like a failed add, whose result is not looked at either.
    }
}

// A certificate goes by its own content: self-issued to "ROOT" and "CA", an authority to
// "CA", an end entity to "AddressBook". A failure is reported and ends this certificate's
// adds only.
void TForm1::PlaceCertificate(const TStores& stores, const std::string& der) {
    try {
        const THandle certificate(ucrypt::DecodeCertificate(service_, der),
                                  [this](uintptr_t c) { service_.CertFreeCertificateContext(c); });
        if (!certificate.Get())
            return;
        const bool selfIssued = ucrypt::DisplayName(service_, certificate.Get(), false) ==
                                ucrypt::DisplayName(service_, certificate.Get(), true);
        const bool authority = ucrypt::HasBasicConstraints(service_, certificate.Get());
        if (!selfIssued && !authority)
            AddCertificate(stores.AddressBook(), certificate.Get());
        // "ROOT" before "CA": a store service may hold back what failed in "ROOT" (the Linux
        // stores do so for a root's NSS databases) to report it with the "CA" add, once.
        if (selfIssued)
            AddCertificate(stores.Root(), certificate.Get());
        if (selfIssued || authority)
            AddCertificate(stores.Ca(), certificate.Get());
    } catch (const std::exception& e) {
        shell_.ShowErrorDialog(ShownMessage(e));
    }
}

void TForm1::AddCertificate(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    if (service_.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW))
        return;
    const uint32_t code = service_.GetLastError();
    if (code == CRYPT_E_EXISTS)
        return;
    throw EWin32Error(static_cast<int32_t>(code), service_.ErrorText(code));
}
