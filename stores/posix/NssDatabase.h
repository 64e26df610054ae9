#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

struct PK11SlotInfoStr;

// One NSS certificate database, open for the length of a run as a token of its own beside
// the others, and the adds into it. Every look and every change goes to this token alone, so
// that what one database holds never stands in for what another lacks.
namespace platform::nss {

// A failed NSS call, with NSS's error code.
struct NssError {
    uint32_t code;
};
// Throws NssError with NSS's code for the call that just failed.
void Check(bool succeeded);

// A certificate as the databases take it: its bytes and those of the parts a database finds
// it by (DER), and the nickname it gets where it is new.
struct Certificate {
    std::string der;
    std::string subject, issuer, serialNumber, publicKeyInfo;
    std::string nickname;
};

class NssDatabase {
public:
    // Opens the sql database in the folder under a token name unique in the run; a new
    // database gets the empty password that Chromium and Firefox give theirs.
    NssDatabase(const std::filesystem::path& folder, const std::string& tokenName);
    ~NssDatabase();
    NssDatabase(const NssDatabase&) = delete;
    NssDatabase& operator=(const NssDatabase&) = delete;

    // Whether the add below would change anything; looked at without the installers' lock.
    bool LacksCertificate(const Certificate& certificate, bool trustedAuthority);
    bool LacksCrl(const std::string& der);

    // A certificate that is there keeps its nickname; a trusted authority gets "C,C,C" added
    // to the trust it has, and a use the user distrusted it for stays distrusted.
    void AddCertificate(const Certificate& certificate, bool trustedAuthority);
    // An older CRL of the same issuer is replaced; an equal or newer one stays.
    void AddCrl(const std::string& der);

private:
    void CheckWritable() const;
    bool Holds(const Certificate& certificate);
    void Import(const Certificate& added);
    std::string UniqueNickname(const std::string& name, const std::string& subject);

    // What the database holds as first looked at, kept up with this run's own adds: the
    // answers of the looks without the lock. A change looks at the database itself again.
    struct Seen;
    Seen& Looked();

    PK11SlotInfoStr* slot_;
    std::string tokenName_;
    std::unique_ptr<Seen> seen_;
};

} // namespace platform::nss
