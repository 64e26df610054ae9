// The current user's certificate stores as OpenSSL hashed directories under
// $XDG_DATA_HOME/certinstall/stores/<name>/: certificates as PEM "<subject hash>.<n>", CRLs as
// PEM "<issuer hash>.r<n>", so that "openssl verify -CApath" and "curl --capath" use a store
// as it is. Every add is atomic, and a process holds a lock on each store it has open. Each
// add then goes on into the user's NSS databases, which the browsers read: "ROOT" trusts its
// certificates there as authorities, the other stores add theirs without trust.
#include "platform/CertStore.h"

#include "platform/CodePages.h"
#include "platform/posix/NssDatabases.h"
#include "runtime/Exception.h"
#include "runtime/Owned.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

using X509Ptr = Owned<X509, X509_free>;
using CrlPtr = Owned<X509_CRL, X509_CRL_free>;

// A file descriptor that closes itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() { Close(); }

    int Get() const { return fd_; }
    // 0, or the error of closing it.
    int Close() {
        if (fd_ < 0)
            return 0;
        return close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// Where the user's data lives: $XDG_DATA_HOME, else ~/.local/share. Without either there is
// no place for the stores, and the working folder is not one.
fs::path DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return fs::path(home) / ".local" / "share";
    throw Exception("Neither XDG_DATA_HOME nor HOME names a folder for the certificate stores");
}

// The store's folder under the data folder, made where missing. The installer's own folders
// on the way are never symbolic links, so nothing is written where a link points.
FileDescriptor OpenStoreFolder(const std::string& storeName, int& error) {
    const fs::path dataHome = DataHome();
    std::error_code made;
    fs::create_directories(dataHome, made);
    FileDescriptor folder(open(dataHome.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    error = folder.Get() < 0 ? errno : 0;
    // A folder that cannot be made must not leave its parent standing in for the store.
    for (const std::string& part : {std::string("certinstall"), std::string("stores"), storeName}) {
        if (error != 0)
            return FileDescriptor();
        if (mkdirat(folder.Get(), part.c_str(), 0755) != 0 && errno != EEXIST) {
            error = errno;
            return FileDescriptor();
        }
        const int opened =
            openat(folder.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        error = opened < 0 ? errno : 0;
        folder = FileDescriptor(opened);
    }
    return error != 0 ? FileDescriptor() : std::move(folder);
}

// How long a change waits for another installer's change to the same store.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(20);

// A lock file locked for as long as the object lives.
class HeldLock {
public:
    explicit HeldLock(int fd) : fd_(fd) {}
    ~HeldLock() { flock(fd_, LOCK_UN); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int fd_;
};

// One open store: its folder, and its lock file, which is locked for each change only, so
// that a dialog of one installer never holds up another.
struct Store {
    FileDescriptor folder;
    FileDescriptor lock;
    int openError = 0;
    // Shared by the stores open at a time.
    std::shared_ptr<nss::Databases> databases;
    bool trustsAuthorities = false;
    // Once a wait for the lock has run out, the store's later changes in this run fail at
    // once: a run waits seconds at most, not seconds for every certificate.
    mutable bool lockGivenUp = false;

    // The change made under the store's lock: 0, or the error of the change or of the wait.
    uint32_t Change(const std::function<uint32_t()>& change) const {
        if (lockGivenUp)
            return EWOULDBLOCK;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return static_cast<uint32_t>(errno);
            if (std::chrono::steady_clock::now() >= deadline) {
                lockGivenUp = true;
                return EWOULDBLOCK;
            }
            std::this_thread::sleep_for(kLockPoll);
        }
        const HeldLock held(lock.Get());
        RemoveStaleTemporaries();
        return change();
    }
    void RemoveStaleTemporaries() const;
};

std::string HashName(unsigned long hash) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lx", hash);
    return name;
}

// A certificate's or a CRL's DER bytes.
template <class T> std::optional<std::string> Der(const T* object) {
    unsigned char* der = nullptr;
    int length = -1;
    if constexpr (std::is_same_v<T, X509>)
        length = i2d_X509(object, &der);
    else
        length = i2d_X509_CRL(object, &der);
    if (length < 0)
        return std::nullopt;
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

// The text of the first entry of that kind in the name, in UTF-8.
std::optional<std::string> EntryText(X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return std::nullopt;
    unsigned char* utf8 = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    if (length < 0)
        return std::nullopt;
    std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

std::optional<std::string> AlternativeName(X509* certificate, int nid) {
    auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, nid, nullptr, nullptr));
    if (!names)
        return std::nullopt;
    std::optional<std::string> text;
    for (int i = 0; i < sk_GENERAL_NAME_num(names) && !text; ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type == GEN_EMAIL || name->type == GEN_DNS || name->type == GEN_URI)
            text = std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.ia5)),
                               static_cast<size_t>(ASN1_STRING_length(name->d.ia5)));
    }
    GENERAL_NAMES_free(names);
    return text;
}

// The simple display name: common name, else organisational unit, else organisation, else
// e-mail attribute, else an alternative name.
std::string SimpleDisplayName(X509* certificate, bool issuer) {
    X509_NAME* name =
        issuer ? X509_get_issuer_name(certificate) : X509_get_subject_name(certificate);
    for (int nid :
         {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress})
        if (auto text = EntryText(name, nid))
            return *text;
    return AlternativeName(certificate, issuer ? NID_issuer_alt_name : NID_subject_alt_name)
        .value_or("");
}

const std::string kTemporaryPrefix = ".tmp-";

// The names in a folder, "." and ".." left out.
std::vector<std::string> NamesIn(int folder) {
    std::vector<std::string> names;
    const int own = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = own >= 0 ? fdopendir(own) : nullptr;
    if (!listing) {
        if (own >= 0)
            close(own);
        return names;
    }
    while (const dirent* entry = readdir(listing))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    closedir(listing);
    return names;
}

// What a writer killed before its rename left behind. Only the holder of the store's lock
// writes, so while the lock is ours every temporary file there is stale.
void Store::RemoveStaleTemporaries() const {
    for (const std::string& name : NamesIn(folder.Get()))
        if (name.rfind(kTemporaryPrefix, 0) == 0)
            unlinkat(folder.Get(), name.c_str(), 0);
}

// A new temporary file in the folder, readable by everyone like the rest of the store.
FileDescriptor CreateTemporary(int folder, std::string& name) {
    static std::mt19937 random{std::random_device{}()};
    for (;;) {
        name = kTemporaryPrefix + std::to_string(random());
        FileDescriptor file(openat(folder, name.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file.Get() >= 0 || errno != EEXIST)
            return file;
    }
}

uint32_t WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno != EINTR)
            return static_cast<uint32_t>(errno);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return 0;
}

// Writes a file so that it is there complete or not at all: a temporary file, flushed to
// disk, renamed into place, and the folder flushed too.
uint32_t WriteAtomically(int folder, const std::string& target, const std::string& contents) {
    std::string temporary;
    FileDescriptor file = CreateTemporary(folder, temporary);
    if (file.Get() < 0)
        return static_cast<uint32_t>(errno);
    uint32_t error = WriteAll(file.Get(), contents);
    if (!error && fsync(file.Get()) != 0)
        error = static_cast<uint32_t>(errno);
    const int closed = file.Close();
    if (!error)
        error = static_cast<uint32_t>(closed);
    if (!error && renameat(folder, temporary.c_str(), folder, target.c_str()) != 0)
        error = static_cast<uint32_t>(errno);
    if (error) {
        unlinkat(folder, temporary.c_str(), 0);
        return error;
    }
    fsync(folder);
    return 0;
}

template <class Write> std::string Pem(Write write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(length));
    BIO_free(bio);
    return pem;
}

// The files of a store that belong to one hash, by their numbers: "<hash>.<n>" or
// "<hash>.r<n>". A name whose number does not read as one, or has a leading zero (OpenSSL
// looks for "<hash>.0" and on, never "<hash>.00"), is no such file.
std::map<int, std::string> NumberedFiles(int folder, const std::string& hash, bool crls) {
    std::map<int, std::string> files;
    const std::string prefix = hash + (crls ? ".r" : ".");
    for (const std::string& name : NamesIn(folder)) {
        if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size())
            continue;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        int number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        const bool plain = std::isdigit(static_cast<unsigned char>(*first)) &&
                           (*first != '0' || last - first == 1);
        if (error == std::errc() && end == last && plain)
            files[number] = name;
    }
    return files;
}

int FirstFreeNumber(const std::map<int, std::string>& files) {
    int n = 0;
    while (files.count(n))
        ++n;
    return n;
}

template <class T, class Read>
std::unique_ptr<T, void (*)(T*)> ReadPem(int folder, const std::string& name, Read read,
                                         void (*free)(T*)) {
    const int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    FILE* in = fd >= 0 ? fdopen(fd, "r") : nullptr;
    if (!in && fd >= 0)
        close(fd);
    T* object = in ? read(in, nullptr, nullptr, nullptr) : nullptr;
    if (in)
        std::fclose(in);
    return {object, free};
}

class PosixCertStoreService : public ICertStoreService {
public:
    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        auto store = std::make_unique<Store>();
        // Without a place for the databases nothing is written, not even the folders.
        store->databases = Databases();
        store->folder = OpenStoreFolder(storeName, store->openError);
        store->trustsAuthorities = storeName == "ROOT";
        if (!store->openError) {
            store->lock = FileDescriptor(openat(store->folder.Get(), ".lock",
                                                O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
            store->openError = store->lock.Get() < 0 ? errno : 0;
        }
        return Keep(stores_, std::move(store));
    }

    PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encoding, const unsigned char* data,
                                                uint32_t length) override {
        return Decoded(certificates_, encoding, data, length, d2i_X509);
    }

    PCCRL_CONTEXT CertCreateCRLContext(uint32_t encoding, const unsigned char* data,
                                       uint32_t length) override {
        return Decoded(crls_, encoding, data, length, d2i_X509_CRL);
    }

    uint32_t CertGetNameStringA(PCCERT_CONTEXT certificate, uint32_t type, uint32_t flags,
                                char* buffer, uint32_t size) override {
        if (size == 0)
            return 0;
        X509* x = Find(certificates_, certificate);
        std::string name =
            x && type == CERT_NAME_SIMPLE_DISPLAY_TYPE
                ? Utf8ToAnsi(SimpleDisplayName(x, (flags & CERT_NAME_ISSUER_FLAG) != 0))
                : std::string();
        name.resize(std::min<size_t>(name.size(), size - 1));
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return static_cast<uint32_t>(name.size() + 1);
    }

    bool CertFindExtension(const std::string& objectId, PCCERT_CONTEXT certificate) override {
        X509* x = Find(certificates_, certificate);
        ASN1_OBJECT* object = OBJ_txt2obj(objectId.c_str(), 1);
        const bool found = x && object && X509_get_ext_by_OBJ(x, object, -1) >= 0;
        ASN1_OBJECT_free(object);
        return found;
    }

    bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT certificate,
                                          uint32_t disposition) override {
        Store* s = Find(stores_, store);
        X509* x = Find(certificates_, certificate);
        if (!s || !x)
            return Fail(EINVAL);
        if (s->openError)
            return Fail(s->openError);
        // The folder first; what it already holds may still be missing from a database.
        const bool added =
            Changed(*s, [&] { return AddCertificate(s->folder.Get(), x, disposition); });
        if (!added && lastError_ != CRYPT_E_EXISTS)
            return false;
        const std::string der = Der(x).value_or("");
        const uint32_t error =
            s->databases->AddCertificate(der, SimpleDisplayName(x, false), s->trustsAuthorities);
        // A root goes on into "CA" after "ROOT": a database's failure must not keep it from
        // that folder, so the "CA" add reports it, as the certificate's one failure.
        if (error && s->trustsAuthorities) {
            rootDatabaseErrors_[der] = error;
            return added;
        }
        const auto deferred = rootDatabaseErrors_.extract(der);
        if (const uint32_t reported = error ? error : deferred ? deferred.mapped() : 0)
            return Fail(reported);
        return added;
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl, uint32_t) override {
        Store* s = Find(stores_, store);
        X509_CRL* c = Find(crls_, crl);
        if (!s || !c)
            return Fail(EINVAL);
        if (s->openError)
            return Fail(s->openError);
        if (!Changed(*s, [&] { return AddCrl(s->folder.Get(), c); }))
            return false;
        const uint32_t error = s->databases->AddCrl(Der(c).value_or(""));
        return error == 0 || Fail(error);
    }

    uint32_t GetLastError() override { return lastError_; }

    void CertFreeCertificateContext(PCCERT_CONTEXT certificate) override {
        certificates_.erase(certificate);
    }
    void CertFreeCRLContext(PCCRL_CONTEXT crl) override { crls_.erase(crl); }
    void CertCloseStore(HCERTSTORE store, uint32_t) override { stores_.erase(store); }

    std::u16string ErrorText(uint32_t code) override {
        if (code == CRYPT_E_EXISTS)
            return u"The object or property already exists.";
        if (const auto text = nss::ErrorText(code))
            return Utf8ToWide(*text);
        return AnsiToWide(std::strerror(static_cast<int>(code)));
    }

private:
    // The databases of the stores open now, found again once all have closed.
    std::shared_ptr<nss::Databases> Databases() {
        std::shared_ptr<nss::Databases> databases = databases_.lock();
        if (!databases) {
            databases = std::make_shared<nss::Databases>();
            databases_ = databases;
        }
        return databases;
    }
    template <class T> uintptr_t Keep(std::map<uintptr_t, T>& table, T object) {
        const uintptr_t handle = ++lastHandle_;
        table.emplace(handle, std::move(object));
        return handle;
    }
    // The decoded object's handle, or 0 when the bytes do not decode.
    template <class T, class Decode>
    uintptr_t Decoded(std::map<uintptr_t, T>& table, uint32_t encoding, const unsigned char* data,
                      uint32_t length, Decode decode) {
        const unsigned char* p = data;
        T object((encoding & X509_ASN_ENCODING) ? decode(nullptr, &p, static_cast<long>(length))
                                                : nullptr);
        return object ? Keep(table, std::move(object)) : 0;
    }
    template <class T>
    static auto Find(std::map<uintptr_t, T>& table, uintptr_t handle) -> typename T::pointer {
        const auto found = table.find(handle);
        return found == table.end() ? nullptr : found->second.get();
    }
    bool Fail(uint32_t code) {
        lastError_ = code;
        return false;
    }
    bool Changed(const Store& store, const std::function<uint32_t()>& change) {
        const uint32_t error = store.Change(change);
        return error == 0 || Fail(error);
    }

    static uint32_t AddCertificate(int folder, X509* x, uint32_t disposition) {
        const auto der = Der(x);
        const std::string hash = HashName(X509_subject_name_hash(x));
        const auto files = NumberedFiles(folder, hash, false);
        for (const auto& [number, file] : files) {
            auto existing = ReadPem<X509>(folder, file, PEM_read_X509, X509_free);
            if (existing && Der(existing.get()) == der)
                return disposition == CERT_STORE_ADD_NEW ? CRYPT_E_EXISTS : 0;
        }
        return WriteAtomically(folder, hash + "." + std::to_string(FirstFreeNumber(files)),
                               Pem([x](BIO* bio) { PEM_write_bio_X509(bio, x); }));
    }

    // An equal CRL is one of the same issuer; the new one takes its place.
    static uint32_t AddCrl(int folder, X509_CRL* c) {
        const std::string hash =
            HashName(X509_NAME_hash_ex(X509_CRL_get_issuer(c), nullptr, nullptr, nullptr));
        const auto files = NumberedFiles(folder, hash, true);
        std::string target = hash + ".r" + std::to_string(FirstFreeNumber(files));
        for (const auto& [number, file] : files) {
            auto existing = ReadPem<X509_CRL>(folder, file, PEM_read_X509_CRL, X509_CRL_free);
            if (existing &&
                X509_NAME_cmp(X509_CRL_get_issuer(existing.get()), X509_CRL_get_issuer(c)) == 0) {
                target = file;
                break;
            }
        }
        return WriteAtomically(folder, target,
                               Pem([c](BIO* bio) { PEM_write_bio_X509_CRL(bio, c); }));
    }

    std::weak_ptr<nss::Databases> databases_;
    // What the databases failed with when roots went into "ROOT", by the roots' bytes.
    std::map<std::string, uint32_t> rootDatabaseErrors_;
    std::map<uintptr_t, std::unique_ptr<Store>> stores_;
    std::map<uintptr_t, X509Ptr> certificates_;
    std::map<uintptr_t, CrlPtr> crls_;
    uintptr_t lastHandle_ = 0;
    uint32_t lastError_ = 0;
};

} // namespace

ICertStoreService& SystemCertStoreService() {
    static PosixCertStoreService service;
    return service;
}

} // namespace platform
