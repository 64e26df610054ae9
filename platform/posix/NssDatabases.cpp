#include "platform/posix/NssDatabases.h"

#include "platform/posix/NssDatabase.h"
#include "platform/posix/NssDatabaseDiscovery.h"

#include <nss.h>
#include <nssutil.h>
#include <prerror.h>
#include <secerr.h>

#include <cstdlib>
#include <fcntl.h>

namespace platform::nss {

namespace fs = std::filesystem;

// The NSS library for the run, without a database of its own, the built-in roots or the
// user's other modules: each database is opened as a token of its own beside it.
class Library {
public:
    Library() {
        // NSS otherwise times a few thousand file lookups at each database's open, to guess
        // whether the home is on a network file system; a run keeps its databases open for
        // moments only, so the guess costs more than it can save.
        setenv("NSS_SDB_USE_CACHE", "no", 0);
        NSSInitParameters parameters{};
        parameters.length = sizeof parameters;
        context_ = NSS_InitContext("", "", "", "", &parameters,
                                   NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB | NSS_INIT_NOROOTINIT |
                                       NSS_INIT_FORCEOPEN | NSS_INIT_OPTIMIZESPACE);
        Check(context_ != nullptr);
    }
    ~Library() { NSS_ShutdownContext(context_); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

private:
    NSSInitContext* context_;
};

namespace {

// Where installers share the lock for the databases: beside the shared database, found from
// HOME as the databases are, so that two runs with other data folders still meet there. None
// when it cannot be opened, and the adds go on without it, since nobody else could lock there
// either.
FileDescriptor LockFolder(const fs::path& sharedDatabase) {
    return FileDescriptor(
        open(sharedDatabase.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

Databases::Databases()
    : folders_(FindUserDatabases()), lockFolder_(LockFolder(folders_.front())),
      lock_(lockFolder_.Get(), "certinstall.lock") {
    uint32_t libraryError = 0;
    try {
        library_ = std::make_unique<Library>();
    } catch (const NssError& error) {
        libraryError = error.code;
    }
    // Opening makes a database that is missing, which another installer may be doing at the
    // same moment.
    LockFile::Held held;
    lock_.Acquire(held);
    for (const fs::path& folder : folders_) {
        Opened opened{nullptr, libraryError};
        try {
            if (library_)
                opened.database = std::make_unique<NssDatabase>(
                    folder, "certinstall " + std::to_string(databases_.size()));
        } catch (const NssError& error) {
            // A database that would not open fails the run's adds at once: one that another
            // program holds locked would make every add wait again.
            opened.openError = error.code;
        }
        databases_.push_back(std::move(opened));
    }
}

Databases::~Databases() = default;

// The add into every database that lacks it, also after one has failed; the first failure
// is the result. The lock is taken at the first database that lacks it, and held until the
// add has gone into all of them; without a place for the lock file the adds go on without it,
// since nobody else could make one there either.
template <class Lacks, class Add> uint32_t Databases::IntoEach(const Lacks& lacks, const Add& add) {
    uint32_t firstError = 0;
    std::optional<LockFile::Held> held;
    for (Opened& opened : databases_) {
        try {
            if (opened.openError)
                throw NssError{opened.openError};
            if (!lacks(*opened.database))
                continue;
            if (!held) {
                held.emplace();
                if (lock_.Acquire(*held) == kAnotherInstallerAtWork) {
                    held.reset();
                    throw NssError{kAnotherInstallerAtWork};
                }
            }
            add(*opened.database);
        } catch (const NssError& error) {
            firstError = firstError ? firstError : error.code;
        }
    }
    return firstError;
}

uint32_t Databases::AddCertificate(const Certificate& certificate, bool trustedAuthority) {
    return IntoEach(
        [&](NssDatabase& database) {
            return database.LacksCertificate(certificate, trustedAuthority);
        },
        [&](NssDatabase& database) { database.AddCertificate(certificate, trustedAuthority); });
}

uint32_t Databases::AddCrl(const std::string& der) {
    return IntoEach([&](NssDatabase& database) { return database.LacksCrl(der); },
                    [&](NssDatabase& database) { database.AddCrl(der); });
}

std::optional<std::string> ErrorText(uint32_t code) {
    const auto error = static_cast<PRErrorCode>(code);
    NSS_InitializePRErrorTable();
    if (!PR_ErrorToName(error))
        return std::nullopt;
    return PR_ErrorToString(error, PR_LANGUAGE_I_DEFAULT);
}

} // namespace platform::nss
