#pragma once

#include <openssl/x509.h>

#include <string>

// The names the store service gives a certificate.
namespace platform {

// The simple display name of the subject or the issuer, in UTF-8: common name, else
// organisational unit, else organisation, else e-mail attribute, else an alternative name.
std::string SimpleDisplayName(X509* certificate, bool issuer);

} // namespace platform
