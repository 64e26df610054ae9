#include "stores/posix/NssDatabases.h"

#include "stores/posix/NssDatabase.h"
#include "stores/posix/NssDatabaseDiscovery.h"

#include <nss.h>
#include <nssutil.h>
#include <prerror.h>
#include <secerr.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

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

// Where installers share the lock for the databases: beside Chromium's database, found from
// HOME and the data folder as the databases are, so that two runs for one user meet there.
// None when it cannot be opened, and the adds go on without it, since nobody else could lock
// there either.
FileDescriptor LockFolder(const fs::path& sharedDatabase) {
    return FileDescriptor(
        open(sharedDatabase.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// What the database's folder shows of a failure NSS cannot name: NSS tells a disk it could not
// write as a wrong password (-8177) or an unknown PKCS #11 error (-8018), whatever the system
// said. A write of a few of the database's pages finds a full disk or a quota, and a folder
// that is gone fails the probe's open.
uint32_t Cause(const fs::path& folder, uint32_t code) {
    if (code != static_cast<uint32_t>(SEC_ERROR_UNKNOWN_PKCS11_ERROR) &&
        code != static_cast<uint32_t>(SEC_ERROR_BAD_PASSWORD))
        return code;
    const FileDescriptor probe(open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (probe.Get() < 0)
        return errno == EOPNOTSUPP ? code : static_cast<uint32_t>(errno);
    const uint32_t written = WriteAll(probe.Get(), std::string(size_t{64} * 1024, '\0'));
    return written ? written : code;
}

// The work for each of the indexes, each on a thread of its own but the last; returns when all
// are done. An error other than the work's own leaves here once every thread has ended.
template <class Work> void SideBySide(const std::vector<size_t>& indexes, const Work& work) {
    std::vector<std::exception_ptr> errors(indexes.size());
    const auto guarded = [&](size_t at) {
        try {
            work(indexes[at]);
        } catch (...) {
            errors[at] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (size_t at = 0; at + 1 < indexes.size(); ++at)
            threads.emplace_back(guarded, at);
        if (!indexes.empty())
            guarded(indexes.size() - 1);
    }
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

} // namespace

Databases::Databases(bool make) : Databases(FindUserDatabases(make)) {}

// Without a database there is no change to make, and no lock to make it under.
Databases::Databases(const std::vector<UserDatabase>& found)
    : lockFolder_(found.empty() ? FileDescriptor() : LockFolder(found.front().folder)),
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
    for (const UserDatabase& where : found) {
        Opened opened{where, nullptr, libraryError};
        try {
            if (library_)
                opened.database = std::make_unique<NssDatabase>(
                    where.folder, "certinstall " + std::to_string(databases_.size()));
        } catch (const NssError& error) {
            // A database that would not open fails the run's adds at once: one that another
            // program holds locked would make every add wait again.
            opened.openError = error.code;
        }
        databases_.push_back(std::move(opened));
    }
}

Databases::~Databases() = default;

// The change into every database that needs it, also after one has failed. The lock is taken
// once some database needs the change, and held until the change has gone into all of them;
// without a place for the lock file the changes go on without it, since nobody else could make
// one there either. The databases change side by side: each change is a few transactions that
// wait for the disk, and the disk takes the flushes of several files at once about as fast as
// one file's.
template <class Needs, class Change>
std::optional<Failure> Databases::IntoEach(const Needs& needs, const Change& change) {
    std::vector<uint32_t> errors(databases_.size());
    std::vector<size_t> needing;
    for (size_t i = 0; i < databases_.size(); ++i) {
        try {
            if (databases_[i].openError)
                throw NssError{databases_[i].openError};
            if (needs(*databases_[i].database))
                needing.push_back(i);
        } catch (const NssError& error) {
            errors[i] = error.code;
        }
    }
    std::optional<LockFile::Held> held;
    if (!needing.empty()) {
        held.emplace();
        if (lock_.Acquire(*held) == kAnotherInstallerAtWork)
            held.reset();
        else
            SideBySide(needing, [&](size_t i) {
                try {
                    change(*databases_[i].database);
                } catch (const NssError& error) {
                    errors[i] = error.code;
                }
            });
    }
    // Said in the databases' order, as if they had changed one after the other.
    std::optional<Failure> first;
    for (size_t i = 0, next = 0; i < databases_.size(); ++i) {
        const bool waitedFor = next < needing.size() && needing[next] == i;
        next += waitedFor ? 1 : 0;
        Opened& opened = databases_[i];
        if (errors[i] && !first && !opened.reported) {
            opened.reported = true;
            first = Failure{Cause(opened.found.folder, errors[i]),
                            opened.found.program + " database " + opened.found.folder.string()};
        } else if (waitedFor && !held && !first)
            first = Failure{kAnotherInstallerAtWork, ""};
    }
    return first;
}

std::optional<Failure> Databases::AddCertificate(const Certificate& certificate,
                                                 bool trustedAuthority) {
    return IntoEach(
        [&](NssDatabase& database) {
            return database.LacksCertificate(certificate, trustedAuthority);
        },
        [&](NssDatabase& database) { database.AddCertificate(certificate, trustedAuthority); });
}

std::optional<Failure> Databases::AddCrl(const std::string& der) {
    return IntoEach([&](NssDatabase& database) { return database.LacksCrl(der); },
                    [&](NssDatabase& database) { database.AddCrl(der); });
}

template <class Look> std::vector<TStorePlace> Databases::LookIntoEach(const Look& look) {
    std::vector<TStorePlace> places;
    for (Opened& opened : databases_) {
        TStorePlace& place = places.emplace_back(TStorePlace{opened.found.folder.string()});
        try {
            if (opened.database)
                look(*opened.database, place);
        } catch (const NssError&) {
            // What could not be looked at is not there, as far as anyone can tell.
        }
    }
    return places;
}

std::vector<TStorePlace> Databases::FindCertificate(const Certificate& certificate) {
    return LookIntoEach([&](NssDatabase& database, TStorePlace& place) {
        place.present = database.Holds(certificate);
        place.trusted = place.present && database.TrustsAsAuthority(certificate);
    });
}

std::vector<TStorePlace> Databases::FindCrl(const std::string& der) {
    return LookIntoEach(
        [&](NssDatabase& database, TStorePlace& place) { place.present = database.HoldsCrl(der); });
}

std::optional<Failure> Databases::DeleteCertificate(const Certificate& certificate) {
    return IntoEach([&](NssDatabase& database) { return database.Holds(certificate); },
                    [&](NssDatabase& database) { database.DeleteCertificate(certificate); });
}

std::optional<Failure> Databases::DeleteCrl(const std::string& der) {
    return IntoEach([&](NssDatabase& database) { return database.HoldsCrl(der); },
                    [&](NssDatabase& database) { database.DeleteCrl(der); });
}

std::optional<std::string> ErrorText(uint32_t code) {
    const auto error = static_cast<PRErrorCode>(code);
    NSS_InitializePRErrorTable();
    if (!PR_ErrorToName(error))
        return std::nullopt;
    return PR_ErrorToString(error, PR_LANGUAGE_I_DEFAULT);
}

} // namespace platform::nss
