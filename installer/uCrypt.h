#pragma once

#include "runtime/Exception.h"
#include "stores/CertStore.h"

#include <string>

// Decoding of the bundle's certificates and CRLs through the store service.
namespace ucrypt {

constexpr uint32_t kEncoding = platform::X509_ASN_ENCODING | platform::PKCS_7_ASN_ENCODING;

// 0 when the bytes are not a certificate (or CRL) the service can decode.
platform::PCCERT_CONTEXT DecodeCertificate(platform::ICertStoreService& service,
                                           const std::string& der);
platform::PCCRL_CONTEXT DecodeCrl(platform::ICertStoreService& service, const std::string& der);

// The simple display name of the certificate's subject, or of its issuer; at most 1023
// characters, as the service cuts it.
std::string DisplayName(platform::ICertStoreService& service, platform::PCCERT_CONTEXT certificate,
                        bool issuer);

bool HasBasicConstraints(platform::ICertStoreService& service,
                         platform::PCCERT_CONTEXT certificate);

// The service's last error, as the error the installer reports.
EWin32Error LastError(platform::ICertStoreService& service);

} // namespace ucrypt
