#pragma once

#include "stores/CertStore.h"
#include "stores/posix/LockFile.h"
#include "stores/posix/NssDatabaseDiscovery.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// All of the current user's NSS certificate databases for one run: each opened once, when the
// first store opens, and closed with the object.
namespace platform::nss {

class NssDatabase;
class Library;
struct Certificate;

// Why an add failed: NSS's code (negative, as an unsigned number) or, where the installer
// knows the cause better, the system's; and the database it failed in, as the user knows it
// (none for the lock that all databases share).
struct Failure {
    uint32_t code;
    std::string where;
};

class Databases {
public:
    // Every database the user has (see NssDatabaseDiscovery.h), Chromium's made where missing
    // unless `make` is false. Throws without a HOME to find them in. The lock that installers
    // share lives beside Chromium's database.
    explicit Databases(bool make = true);
    ~Databases();
    Databases(const Databases&) = delete;
    Databases& operator=(const Databases&) = delete;

    // Each add goes into every database and never lowers a trust a certificate has; what is
    // there already is left as it is. Changes are made under the lock, so that two installers
    // at once never add the same thing twice. The result is the first failure of a database
    // not yet reported in the run: a database that fails is said once, however many adds
    // it fails.
    std::optional<Failure> AddCertificate(const Certificate& certificate, bool trustedAuthority);
    std::optional<Failure> AddCrl(const std::string& der);

    // Each database by its folder, and whether it holds the certificate (the CRL) and trusts
    // it as an authority for TLS servers. A database that would not open holds nothing.
    std::vector<TStorePlace> FindCertificate(const Certificate& certificate);
    std::vector<TStorePlace> FindCrl(const std::string& der);

    // Each delete goes out of every database that holds it, under the lock, and fails as the
    // adds do.
    std::optional<Failure> DeleteCertificate(const Certificate& certificate);
    std::optional<Failure> DeleteCrl(const std::string& der);

private:
    explicit Databases(const std::vector<UserDatabase>& found);

    struct Opened {
        UserDatabase found; // where it is, and whose
        std::unique_ptr<NssDatabase> database;
        uint32_t openError = 0;
        bool reported = false; // a failure of it has been said
    };
    template <class Needs, class Change>
    std::optional<Failure> IntoEach(const Needs& needs, const Change& change);
    template <class Look> std::vector<TStorePlace> LookIntoEach(const Look& look);

    // The library goes after the databases.
    std::unique_ptr<Library> library_;
    std::vector<Opened> databases_;
    FileDescriptor lockFolder_;
    LockFile lock_;
};

// NSS's description of one of its error codes; none for a code that is not NSS's.
std::optional<std::string> ErrorText(uint32_t code);

} // namespace platform::nss
