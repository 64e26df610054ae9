#include "BundleObjects.h"

#include "Placement.h"
#include "StoreHandle.h"
#include "platform/CodePages.h"
#include "uCrypt.h"
#include "unzip/uzip.h"

using namespace platform;

namespace {

void VisitCrl(ICertStoreService& service, const std::string& name, const std::string& der,
              const std::function<void(const TBundleObject&)>& visit) {
    const TStoreHandle crl(ucrypt::DecodeCrl(service, der),
                           [&service](uintptr_t c) { service.CertFreeCRLContext(c); });
    if (crl.Get())
        visit(TBundleObject{AnsiToUtf8(name), true, crl.Get(), CrlStores()});
}

void VisitCertificate(ICertStoreService& service, const std::string& der,
                      const std::function<void(const TBundleObject&)>& visit) {
    const TStoreHandle certificate(
        ucrypt::DecodeCertificate(service, der),
        [&service](uintptr_t c) { service.CertFreeCertificateContext(c); });
    if (certificate.Get())
        visit(TBundleObject{AnsiToUtf8(ucrypt::DisplayName(service, certificate.Get(), false)),
                            false, certificate.Get(),
                            CertificateStores(service, certificate.Get())});
}

} // namespace

void ForEachBundleEntry(const TUnZip& bundle,
                        const std::function<void(const std::string& name,
                                                 const std::string& contents, bool crl)>& visit) {
    for (int32_t i = 0; i < bundle.Count(); ++i) {
        std::string name, contents;
        bundle.GetEntry(i, name, contents);
        if (!contents.empty())
            visit(name, contents, IsCrlEntry(name));
    }
}

void ForEachBundleObject(ICertStoreService& service, const TUnZip& bundle,
                         const std::function<void(const TBundleObject&)>& visit) {
    ForEachBundleEntry(bundle, [&](const std::string& name, const std::string& der, bool crl) {
        if (crl)
            VisitCrl(service, name, der, visit);
        else
            VisitCertificate(service, der, visit);
    });
}
