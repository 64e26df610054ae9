#pragma once

#include "runtime/Owned.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

struct PK11SlotInfoStr;

// One NSS certificate database, open for the length of a run as a token of its own beside
// the others, and the adds into it. Every look and every change goes to this token alone, so
// that what one database holds never stands in for what another lacks.
namespace platform::nss {

// A failed NSS call, with NSS's error code.
struct NssError : std::exception {
    explicit NssError(uint32_t failed) : code(failed) {}
    const char* what() const noexcept override { return "an NSS call failed"; }
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

// Closes a database that SECMOD_OpenUserDB opened, and frees its slot.
void CloseUserDatabase(PK11SlotInfoStr* slot);

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

    // Whether the database holds a certificate (a CRL) of exactly these bytes, and trusts the
    // certificate as an authority for TLS servers; looked at anew each time.
    bool Holds(const Certificate& certificate);
    bool TrustsAsAuthority(const Certificate& certificate);
    bool HoldsCrl(const std::string& der);

    // The certificate of exactly these bytes goes, with its trust; one of its subject or
    // nickname but other bytes stays as it is.
    void DeleteCertificate(const Certificate& certificate);
    void DeleteCrl(const std::string& der);

private:
    void CheckWritable() const;

    // What the database holds as first looked at, kept up with this run's own adds and
    // forgotten at its deletes: the answers of the looks without the lock. A change looks at
    // the database itself again.
    struct Seen;
    Seen& Looked();

    Owned<PK11SlotInfoStr, CloseUserDatabase> slot_;
    std::unique_ptr<Seen> seen_;
    // The authorities this run left out of the database, whose trust it could not take.
    std::set<std::string> withheld_;
};

} // namespace platform::nss
