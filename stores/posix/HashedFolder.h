#pragma once

#include "platform/posix/FileDescriptor.h"
#include "stores/posix/LockFile.h"

#include <openssl/x509.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// One of the current user's certificate stores as an OpenSSL hashed folder under
// $XDG_DATA_HOME/certinstall/stores/<name>/: certificates as PEM "<subject hash>.<n>", CRLs as
// PEM "<issuer hash>.r<n>", so that "openssl verify -CApath" and "curl --capath" use it as it
// is. A file is there whole or not at all, and what the folder holds already is not written
// again: a store that holds the bundle is only read, and one that lacks what is removed too.
namespace platform {

class HashedFolder {
public:
    // The store's folder, made where missing. Throws without a place for the user's data; a
    // folder that cannot be made or opened fails each add with the reason.
    // Where `make` is false nothing is made: a folder that is missing holds nothing, and
    // removing from it succeeds.
    explicit HashedFolder(const std::string& storeName, bool make = true);

    // 0 when added, CRYPT_E_EXISTS when an equal certificate is there, or an errno.
    uint32_t AddCertificate(X509* certificate);
    // Takes the place of the CRL of the same issuer: 0, or an errno.
    uint32_t AddCrl(X509_CRL* crl);

    // Whether a certificate (a CRL) of exactly these bytes is there.
    bool HoldsCertificate(X509* certificate);
    bool HoldsCrl(X509_CRL* crl);
    // 0 when none of these bytes is there any more, or an errno.
    uint32_t RemoveCertificate(X509* certificate);
    uint32_t RemoveCrl(X509_CRL* crl);

    // The folder's absolute path.
    const std::filesystem::path& Path() const { return path_; }

private:
    template <class Change> uint32_t Locked(const Change& change);
    bool Holds(const std::string& hash, bool crls, const std::optional<std::string>& der);
    uint32_t Remove(const std::string& hash, bool crls, const std::optional<std::string>& der);

    std::filesystem::path path_;

    // Set while the folder opens.
    uint32_t openError_ = 0;
    FileDescriptor folder_;
    // Locked for each change only, so that a dialog of one installer never holds up another.
    LockFile lock_;
    bool missing_; // not there, and not to be made
};

} // namespace platform
