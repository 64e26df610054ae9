#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The current user's NSS certificate databases, which browsers and mail programs read: the
// shared one in ~/.pki/nssdb and each Firefox or Thunderbird profile's own.
namespace platform::nss {

class OpenDatabase;

class Databases {
public:
    // The shared database, made where missing, and every profile that has an sql database.
    // Throws without a HOME to find them in.
    Databases();
    ~Databases();
    Databases(const Databases&) = delete;
    Databases& operator=(const Databases&) = delete;

    // Each add goes into every database and never lowers a trust a certificate has; what is
    // there already is left as it is. The result is 0, or the NSS error code of the first
    // database that failed, as an unsigned number.
    uint32_t AddCertificate(const std::string& der, const std::string& nickname,
                            bool trustedAuthority);
    // An older CRL of the same issuer is replaced; an equal or newer one stays.
    uint32_t AddCrl(const std::string& der);

private:
    template <class Add> uint32_t IntoEach(const Add& add);
    OpenDatabase& Open(const std::filesystem::path& folder);

    std::vector<std::filesystem::path> folders_;
    // NSS keeps one database open at a time, so that what one holds never stands in for
    // what another lacks.
    std::unique_ptr<OpenDatabase> open_;
    std::map<std::filesystem::path, uint32_t> unopened_;
};

// NSS's description of one of its error codes; none for a code that is not NSS's.
std::optional<std::string> ErrorText(uint32_t code);

} // namespace platform::nss
