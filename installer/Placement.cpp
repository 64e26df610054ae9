#include "Placement.h"

#include "OpenStores.h"
#include "archive/ZAStrFunc.h"
#include "platform/CodePages.h"
#include "uCrypt.h"

std::vector<std::string> CertificateStores(platform::ICertStoreService& service,
                                           platform::PCCERT_CONTEXT certificate) {
    const bool selfIssued = ucrypt::DisplayName(service, certificate, false) ==
                            ucrypt::DisplayName(service, certificate, true);
    if (selfIssued)
        return {"ROOT", "CA"};
    if (ucrypt::HasBasicConstraints(service, certificate))
        return {"CA"};
    return {"AddressBook"};
}

const std::vector<std::string>& CrlStores() {
    return TOpenStores::Names();
}

bool IsCrlEntry(const std::string& name) {
    return platform::AnsiLowerCase(za::ExtractFileExt(name)) == ".crl";
}
