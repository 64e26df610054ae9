#include "UPwd.h"

#include "ShownMessage.h"
#include "Texts.h"
#include "archive/ZAStrFunc.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"
#include "uCrypt.h"
#include "unzip/uzip.h"

#include <memory>

using namespace platform;

TForm1::TForm1(IFormShell& shell, ICertStoreService& stores, TBundleSource bundle)
    : shell_(shell), service_(stores), bundle_(std::move(bundle)) {}

void TForm1::FormActivate(void*) {
    Button1Click(nullptr);
    shell_.CloseMainWindow();
}

void TForm1::Button1Click(void*) {
    const std::string bundle = bundle_();
    auto unzip = std::make_unique<TUnZip>();
    unzip->LoadFromString(bundle, false);

    const TStores stores{service_.CertOpenSystemStoreA("AddressBook"),
                         service_.CertOpenSystemStoreA("CA"),
                         service_.CertOpenSystemStoreA("ROOT")};
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
    service_.CertCloseStore(stores.ca, 0);
    service_.CertCloseStore(stores.root, 0);
    service_.CertCloseStore(stores.addressBook, 0);
    shell_.ShowInfoMessage(texts::InstallationDone());
}

// A CRL goes to every store, replacing an equal one; nothing about it is reported.
void TForm1::PlaceCrl(const TStores& stores, const std::string& der) {
    const PCCRL_CONTEXT crl = ucrypt::DecodeCrl(service_, der);
    if (!crl)
        return;
    for (HCERTSTORE store : {stores.addressBook, stores.ca, stores.root})
        service_.CertAddCRLContextToStore(store, crl, CERT_STORE_ADD_REPLACE_EXISTING);
    service_.CertFreeCRLContext(crl);
}

// A certificate goes by its own content: self-issued to "ROOT" and "CA", an authority to
// "CA", an end entity to "AddressBook". A failure is reported and ends this certificate's
// adds only.
void TForm1::PlaceCertificate(const TStores& stores, const std::string& der) {
    PCCERT_CONTEXT certificate = 0;
    try {
        certificate = ucrypt::DecodeCertificate(service_, der);
        if (!certificate)
            return;
        const bool selfIssued = ucrypt::DisplayName(service_, certificate, false) ==
                                ucrypt::DisplayName(service_, certificate, true);
        const bool authority = ucrypt::HasBasicConstraints(service_, certificate);
        const bool toAddressBook = !selfIssued && !authority;
        const bool toRoot = selfIssued;
        const bool toCa = selfIssued || authority;
        if (toAddressBook)
            AddCertificate(stores.addressBook, certificate);
        if (toRoot)
            AddCertificate(stores.root, certificate);
        if (toCa)
            AddCertificate(stores.ca, certificate);
    } catch (const std::exception& e) {
        shell_.ShowErrorDialog(ShownMessage(e));
    }
    if (certificate)
        service_.CertFreeCertificateContext(certificate);
}

void TForm1::AddCertificate(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    if (service_.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW))
        return;
    const uint32_t code = service_.GetLastError();
    if (code == CRYPT_E_EXISTS)
        return;
    throw EWin32Error(static_cast<int32_t>(code), service_.ErrorText(code));
}
