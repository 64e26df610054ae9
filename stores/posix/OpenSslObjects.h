#pragma once

#include "runtime/Owned.h"

#include <openssl/x509.h>

#include <optional>
#include <string>
#include <type_traits>

// OpenSSL's certificates and CRLs as the store layer keeps them.
namespace platform {

using X509Ptr = Owned<X509, X509_free>;
using CrlPtr = Owned<X509_CRL, X509_CRL_free>;
using BioPtr = Owned<BIO, BIO_free>;

// The DER bytes of a certificate, a CRL, or of a name, public key or serial number in one.
template <class T> std::optional<std::string> Der(const T* object) {
    unsigned char* der = nullptr;
    int length = -1;
    if constexpr (std::is_same_v<T, X509>)
        length = i2d_X509(object, &der);
    else if constexpr (std::is_same_v<T, X509_NAME>)
        length = i2d_X509_NAME(object, &der);
    else if constexpr (std::is_same_v<T, X509_PUBKEY>)
        length = i2d_X509_PUBKEY(object, &der);
    else if constexpr (std::is_same_v<T, ASN1_INTEGER>)
        length = i2d_ASN1_INTEGER(object, &der);
    else
        length = i2d_X509_CRL(object, &der);
    if (length < 0)
        return std::nullopt;
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

} // namespace platform
