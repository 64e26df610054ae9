#include "UPwd.h"

#include "BundleObjects.h"
#include "OpenStores.h"
#include "Placement.h"
#include "ShownMessage.h"
#include "StoreHandle.h"
#include "Texts.h"
#include "runtime/Exception.h"
#include "uCrypt.h"
#include "unzip/uzip.h"

#include <utility>

using namespace platform;

TForm1::TForm1(IFormShell& shell, ICertStoreService& stores, TBundleSource bundle)
    : shell_(shell), service_(stores), bundle_(std::move(bundle)) {}

void TForm1::FormActivate(void*) {
    Button1Click(nullptr);
    shell_.CloseMainWindow();
}

void TForm1::Button1Click(void*) {
    PlaceEntries(OpenBundle(bundle_));
    shell_.ShowInfoMessage(texts::InstallationDone());
}

// Every entry into the stores; the entries go first, then the stores close.
void TForm1::PlaceEntries(std::unique_ptr<TUnZip> unzip) {
    const TOpenStores stores(service_);
    ForEachBundleEntry(*unzip, [&](const std::string&, const std::string& der, bool crl) {
        if (crl)
            PlaceCrl(stores, der);
        else
            PlaceCertificate(stores, der);
    });
    for (const std::string& store : TOpenStores::Names())
        CommitStore(stores.Of(store));
    unzip.reset();
}

// A CRL goes to every store, replacing an equal one; nothing about it is reported.
void TForm1::PlaceCrl(const TOpenStores& stores, const std::string& der) {
    const TStoreHandle crl(ucrypt::DecodeCrl(service_, der),
                           [this](uintptr_t c) { service_.CertFreeCRLContext(c); });
    if (!crl.Get())
        return;
    for (const std::string& store : CrlStores())
        AddCrl(stores.Of(store), crl.Get());
}

void TForm1::AddCrl(HCERTSTORE store, PCCRL_CONTEXT crl) {
    try {
        service_.CertAddCRLContextToStore(store, crl, CERT_STORE_ADD_REPLACE_EXISTING);
    } catch (const std::exception&) {
        // Like a failed add, whose result is not looked at either.
    }
}

// A failure is reported and ends this certificate's adds only.
void TForm1::PlaceCertificate(const TOpenStores& stores, const std::string& der) {
    try {
        const TStoreHandle certificate(
            ucrypt::DecodeCertificate(service_, der),
            [this](uintptr_t c) { service_.CertFreeCertificateContext(c); });
        if (!certificate.Get())
            return;
        for (const std::string& store : CertificateStores(service_, certificate.Get()))
            AddCertificate(stores.Of(store), certificate.Get());
    } catch (const std::exception& e) {
        shell_.ShowErrorDialog(ShownMessage(e));
    }
}

// What the system does after the adds (the machine's trust tool) fails like an add.
void TForm1::CommitStore(HCERTSTORE store) {
    try {
        if (!service_.CertControlStoreCommit(store))
            throw ucrypt::LastError(service_);
    } catch (const std::exception& e) {
        shell_.ShowErrorDialog(ShownMessage(e));
    }
}

void TForm1::AddCertificate(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    if (service_.CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW))
        return;
    if (service_.GetLastError() == CRYPT_E_EXISTS)
        return;
    throw ucrypt::LastError(service_);
}
