#pragma once

#include "stores/CertStore.h"

#include <string>
#include <vector>

// Which stores an object of the bundle belongs in, in the order of its adds. A certificate
// goes by its own content: self-issued to "ROOT" and "CA", an authority to "CA", an end entity
// to "AddressBook". "ROOT" comes before "CA": a store service may hold back what failed in
// "ROOT" (the Linux stores do so for a root's NSS databases) to report it with the "CA" add,
// once. A CRL goes to every store.
std::vector<std::string> CertificateStores(platform::ICertStoreService& service,
                                           platform::PCCERT_CONTEXT certificate);
const std::vector<std::string>& CrlStores();

// Whether a bundle entry of that name is a CRL; anything else is taken for a certificate.
bool IsCrlEntry(const std::string& name);
