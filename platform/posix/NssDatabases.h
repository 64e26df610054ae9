#pragma once

#include "platform/posix/LockFile.h"

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

class Databases {
public:
    // Every database the user has (see NssDatabaseDiscovery.h). Throws without a HOME to find
    // them in. The lock that installers share lives beside the shared database.
    Databases();
    ~Databases();
    Databases(const Databases&) = delete;
    Databases& operator=(const Databases&) = delete;

    // Each add goes into every database and never lowers a trust a certificate has; what is
    // there already is left as it is. Changes are made under the lock, so that two installers
    // at once never add the same thing twice. The result is 0, or the error code of the first
    // database that failed (NSS's, negative, as an unsigned number).
    uint32_t AddCertificate(const Certificate& certificate, bool trustedAuthority);
    uint32_t AddCrl(const std::string& der);

private:
    struct Opened {
        std::unique_ptr<NssDatabase> database;
        uint32_t openError = 0;
    };
    template <class Lacks, class Add> uint32_t IntoEach(const Lacks& lacks, const Add& add);

    std::vector<std::filesystem::path> folders_;
    // The library goes after the databases.
    std::unique_ptr<Library> library_;
    std::vector<Opened> databases_;
    FileDescriptor lockFolder_;
    LockFile lock_;
};

// NSS's description of one of its error codes; none for a code that is not NSS's.
std::optional<std::string> ErrorText(uint32_t code);

} // namespace platform::nss
