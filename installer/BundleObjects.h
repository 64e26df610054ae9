#pragma once

#include "stores/CertStore.h"

#include <functional>
#include <string>
#include <vector>

class TUnZip;

// One certificate or CRL of the bundle, decoded by the store service.
struct TBundleObject {
    std::string name; // the certificate's subject, or the CRL's entry name, in UTF-8
    bool crl = false;
    uintptr_t context = 0;           // valid during the visit only
    std::vector<std::string> stores; // where it belongs, as the installation places it
};

// Visits each entry of the bundle with contents, in the bundle's order, as a CRL or a
// certificate by its name (see IsCrlEntry).
void ForEachBundleEntry(const TUnZip& bundle,
                        const std::function<void(const std::string& name,
                                                 const std::string& contents, bool crl)>& visit);

// Visits each object of the bundle the service can decode, in the bundle's order, the way the
// installation goes over them: empty and undecodable entries are passed over.
void ForEachBundleObject(platform::ICertStoreService& service, const TUnZip& bundle,
                         const std::function<void(const TBundleObject&)>& visit);
