// Certificates and CRLs placed into NSS databases through the NSS library, with the trust
// and nicknames that certutil would give them.
#include "platform/posix/NssDatabases.h"

#include "runtime/Exception.h"
#include "runtime/Owned.h"

#include <cert.h>
#include <certdb.h>
#include <nss.h>
#include <nssutil.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secder.h>
#include <secerr.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace platform::nss {
namespace {

namespace fs = std::filesystem;

// A failed NSS call, with NSS's error code.
struct NssError {
    uint32_t code;
};

void Check(bool succeeded) {
    if (succeeded)
        return;
    const PRErrorCode error = PORT_GetError();
    throw NssError{static_cast<uint32_t>(error != 0 ? error : SEC_ERROR_LIBRARY_FAILURE)};
}

using CertificatePtr = Owned<CERTCertificate, CERT_DestroyCertificate>;
using CrlPtr = Owned<CERTSignedCrl, SEC_DestroyCrl>;
using SlotPtr = Owned<PK11SlotInfo, PK11_FreeSlot>;
using ContextPtr = Owned<NSSInitContext, NSS_ShutdownContext>;

SECItem Item(const std::string& bytes) {
    return {siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
            static_cast<unsigned>(bytes.size())};
}

// The profile folders that a profiles.ini lists: each section's Path=, taken from the ini's
// own folder when the section says IsRelative=1. Sections without a Path= ([General], the
// [Install...] sections with their Default=) list none.
std::vector<fs::path> ListedProfiles(const fs::path& ini) {
    std::vector<fs::path> profiles;
    std::ifstream in(ini);
    std::string line, path;
    bool relative = false;
    const auto endSection = [&] {
        // A path that is not marked relative counts only when it is absolute; the working
        // folder is no profile's.
        if (relative && !path.empty())
            profiles.push_back(ini.parent_path() / path);
        else if (fs::path(path).is_absolute())
            profiles.push_back(path);
        path.clear();
        relative = false;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('['))
            endSection();
        else if (line.starts_with("Path="))
            path = line.substr(5);
        else if (line == "IsRelative=1")
            relative = true;
    }
    endSection();
    return profiles;
}

// The shared database's folder, made where missing and, as Chromium makes it, for the user
// alone.
fs::path SharedDatabase(const fs::path& home) {
    const fs::path folder = home / ".pki" / "nssdb";
    mkdir(folder.parent_path().c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::vector<fs::path> UserDatabases() {
    const char* home = std::getenv("HOME");
    if (!home || *home != '/')
        throw Exception("HOME names no folder for the NSS certificate databases");
    std::vector<fs::path> folders{SharedDatabase(home)};
    std::set<fs::path> seen;
    std::error_code error;
    seen.insert(fs::weakly_canonical(folders.front(), error));
    // A profile with only the legacy cert8.db is one that NSS no longer writes.
    for (const char* ini : {".mozilla/firefox/profiles.ini", ".thunderbird/profiles.ini"})
        for (const fs::path& profile : ListedProfiles(fs::path(home) / ini))
            if (fs::is_regular_file(profile / "cert9.db", error) &&
                seen.insert(fs::weakly_canonical(profile, error)).second)
                folders.push_back(profile);
    return folders;
}

} // namespace

// One database opened by NSS, and shut down again with the object.
class OpenDatabase {
public:
    explicit OpenDatabase(const fs::path& folder) : folder_(folder) {
        NSSInitParameters parameters{};
        parameters.length = sizeof parameters;
        // The database alone: neither the built-in roots nor the user's other modules.
        context_.reset(
            NSS_InitContext(("sql:" + folder.string()).c_str(), "", "", "", &parameters,
                            NSS_INIT_NOROOTINIT | NSS_INIT_NOMODDB | NSS_INIT_OPTIMIZESPACE));
        Check(context_ != nullptr);
        slot_.reset(PK11_GetInternalKeySlot());
        // A new database gets the empty password that Chromium and Firefox give theirs.
        if (PK11_NeedUserInit(slot_.get()))
            Check(PK11_InitPin(slot_.get(), nullptr, "") == SECSuccess);
    }
    const fs::path& Folder() const { return folder_; }

    void AddCertificate(const std::string& der, const std::string& nickname,
                        bool trustedAuthority) {
        SECItem item = Item(der);
        CertificatePtr certificate(CERT_FindCertByDERCert(CERT_GetDefaultCertDB(), &item));
        if (!certificate)
            certificate = Import(item, nickname);
        if (trustedAuthority)
            TrustAsAuthority(certificate.get());
    }

    void AddCrl(const std::string& der) {
        SECItem item = Item(der);
        const CrlPtr crl(CERT_DecodeDERCrl(nullptr, &item, SEC_CRL_TYPE));
        Check(crl != nullptr);
        const CrlPtr present(
            SEC_FindCrlByName(CERT_GetDefaultCertDB(), &crl->crl.derName, SEC_CRL_TYPE));
        if (present && IssuedAt(crl->crl) <= IssuedAt(present->crl))
            return;
        // The issuer's signature is checked by whoever uses the CRL, when the issuer is
        // known; the bundle's order of CRLs and certificates does not matter here.
        const CrlPtr imported(PK11_ImportCRL(slot_.get(), &item, nullptr, SEC_CRL_TYPE, nullptr,
                                             CRL_IMPORT_BYPASS_CHECKS, nullptr,
                                             CRL_DECODE_DEFAULT_OPTIONS));
        Check(imported != nullptr);
    }

private:
    // The CRL's thisUpdate.
    static PRTime IssuedAt(const CERTCrl& crl) {
        PRTime time = 0;
        Check(DER_DecodeTimeChoice(&time, &crl.lastUpdate) == SECSuccess);
        return time;
    }

    CertificatePtr Import(SECItem& der, const std::string& name) {
        CertificatePtr certificate(
            CERT_NewTempCertificate(CERT_GetDefaultCertDB(), &der, nullptr, PR_FALSE, PR_TRUE));
        Check(certificate != nullptr);
        const std::string nickname = UniqueNickname(name, certificate->derSubject);
        Check(PK11_ImportCert(slot_.get(), certificate.get(), CK_INVALID_HANDLE,
                              nickname.empty() ? nullptr : nickname.c_str(),
                              PR_FALSE) == SECSuccess);
        return certificate;
    }

    // The name itself, or, when a certificate of another subject has it, the name with
    // " #2", " #3" and so on, as NSS numbers the nicknames it makes for authorities.
    // Certificates of one subject share a nickname in NSS.
    static std::string UniqueNickname(const std::string& name, const SECItem& subject) {
        std::string nickname = name;
        for (int n = 2; !name.empty() && SEC_CertNicknameConflict(nickname.c_str(), &subject,
                                                                  CERT_GetDefaultCertDB());
             ++n)
            nickname = name + " #" + std::to_string(n);
        return nickname;
    }

    // "C,C,C": a trusted authority for TLS, e-mail and code signing, added to whatever the
    // certificate is trusted for already. A use the user has distrusted it for ("p") stays
    // distrusted.
    static void TrustAsAuthority(CERTCertificate* certificate) {
        CERTCertTrust wanted{};
        CERT_DecodeTrustString(&wanted, "C,C,C");
        CERTCertTrust trust{};
        if (CERT_GetCertTrust(certificate, &trust) != SECSuccess)
            trust = CERTCertTrust{};
        const CERTCertTrust before = trust;
        const auto grant = [](unsigned int& flags, unsigned int added) {
            const bool distrusted =
                (flags & CERTDB_TERMINAL_RECORD) && !(flags & (CERTDB_TRUSTED_CA | CERTDB_TRUSTED));
            if (!distrusted)
                flags |= added;
        };
        grant(trust.sslFlags, wanted.sslFlags);
        grant(trust.emailFlags, wanted.emailFlags);
        grant(trust.objectSigningFlags, wanted.objectSigningFlags);
        if (trust.sslFlags == before.sslFlags && trust.emailFlags == before.emailFlags &&
            trust.objectSigningFlags == before.objectSigningFlags)
            return;
        Check(CERT_ChangeCertTrust(CERT_GetDefaultCertDB(), certificate, &trust) == SECSuccess);
    }

    fs::path folder_;
    // The slot goes before NSS shuts down.
    ContextPtr context_;
    SlotPtr slot_;
};

Databases::Databases() : folders_(UserDatabases()) {}

Databases::~Databases() = default;

// A database that would not open fails the rest of the run's adds at once: one that another
// program holds locked would make every add wait again.
OpenDatabase& Databases::Open(const fs::path& folder) {
    if (const auto failed = unopened_.find(folder); failed != unopened_.end())
        throw NssError{failed->second};
    if (!open_ || open_->Folder() != folder) {
        open_.reset();
        try {
            open_ = std::make_unique<OpenDatabase>(folder);
        } catch (const NssError& error) {
            unopened_.emplace(folder, error.code);
            throw;
        }
    }
    return *open_;
}

// The add into every database, also after one has failed; the first failure is the result.
template <class Add> uint32_t Databases::IntoEach(const Add& add) {
    uint32_t firstError = 0;
    for (const fs::path& folder : folders_) {
        try {
            add(Open(folder));
        } catch (const NssError& error) {
            firstError = firstError ? firstError : error.code;
        }
    }
    return firstError;
}

uint32_t Databases::AddCertificate(const std::string& der, const std::string& nickname,
                                   bool trustedAuthority) {
    return IntoEach(
        [&](OpenDatabase& database) { database.AddCertificate(der, nickname, trustedAuthority); });
}

uint32_t Databases::AddCrl(const std::string& der) {
    return IntoEach([&](OpenDatabase& database) { database.AddCrl(der); });
}

std::optional<std::string> ErrorText(uint32_t code) {
    const auto error = static_cast<PRErrorCode>(code);
    NSS_InitializePRErrorTable();
    if (!PR_ErrorToName(error))
        return std::nullopt;
    return PR_ErrorToString(error, PR_LANGUAGE_I_DEFAULT);
}

} // namespace platform::nss
