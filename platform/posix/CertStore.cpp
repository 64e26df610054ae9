// The current user's certificate stores as OpenSSL hashed directories under
// $XDG_DATA_HOME/certinstall/stores/<name>/: certificates as PEM "<subject hash>.<n>", CRLs as
// PEM "<issuer hash>.r<n>", so that "openssl verify -CApath" and "curl --capath" use a store
// as it is. Every add is atomic, and a process holds a lock on each store it has open.
#include "platform/CertStore.h"

#include "platform/CodePages.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct CrlFree {
    void operator()(X509_CRL* c) const { X509_CRL_free(c); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using CrlPtr = std::unique_ptr<X509_CRL, CrlFree>;

// One open store: its folder and the lock that keeps other installers out while it is open.
struct Store {
    fs::path folder;
    int lock = -1;
    int openError = 0;
    ~Store() {
        if (lock >= 0)
            close(lock);
    }
};

fs::path StoresRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/')
        return fs::path(xdg) / "certinstall" / "stores";
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : ".") / ".local" / "share" / "certinstall" / "stores";
}

int ErrorOf(const std::error_code& error) {
    return error.value() ? error.value() : EIO;
}

std::string HashName(unsigned long hash) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lx", hash);
    return name;
}

std::optional<std::string> Der(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
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

// What a writer killed before its rename left behind. Only the holder of the store's lock
// writes, so once the lock is ours every temporary file there is stale.
void RemoveStaleTemporaries(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind(kTemporaryPrefix, 0) == 0)
            fs::remove(entry.path(), error);
}

// Writes a file so that it is there complete or not at all: a temporary file, flushed to
// disk, renamed into place, and the folder flushed too.
int WriteAtomically(const fs::path& target, const std::string& contents) {
    std::string temporary = (target.parent_path() / (kTemporaryPrefix + "XXXXXX")).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return errno;
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            close(fd);
            unlink(temporary.c_str());
            return error;
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return error;
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return error;
    }
    const int folder = open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
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
// "<hash>.r<n>".
std::map<int, fs::path> NumberedFiles(const fs::path& folder, const std::string& hash, bool crls) {
    std::map<int, fs::path> files;
    const std::string prefix = hash + (crls ? ".r" : ".");
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size())
            continue;
        const std::string number = name.substr(prefix.size());
        if (number.find_first_not_of("0123456789") == std::string::npos)
            files[std::stoi(number)] = entry.path();
    }
    return files;
}

int FirstFreeNumber(const std::map<int, fs::path>& files) {
    int n = 0;
    while (files.count(n))
        ++n;
    return n;
}

template <class T, class Read>
std::unique_ptr<T, void (*)(T*)> ReadPem(const fs::path& file, Read read, void (*free)(T*)) {
    FILE* in = std::fopen(file.c_str(), "r");
    T* object = in ? read(in, nullptr, nullptr, nullptr) : nullptr;
    if (in)
        std::fclose(in);
    return {object, free};
}

class PosixCertStoreService : public ICertStoreService {
public:
    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        auto store = std::make_unique<Store>();
        store->folder = StoresRoot() / storeName;
        std::error_code error;
        fs::create_directories(store->folder, error);
        if (error) {
            store->openError = ErrorOf(error);
        } else {
            store->lock =
                open((store->folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (store->lock < 0 || flock(store->lock, LOCK_EX) != 0)
                store->openError = errno;
            else
                RemoveStaleTemporaries(store->folder);
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
        const auto der = Der(x);
        const auto files = NumberedFiles(s->folder, HashName(X509_subject_name_hash(x)), false);
        for (const auto& [number, file] : files) {
            auto existing = ReadPem<X509>(file, PEM_read_X509, X509_free);
            if (existing && Der(existing.get()) == der) {
                if (disposition == CERT_STORE_ADD_NEW)
                    return Fail(CRYPT_E_EXISTS);
                return true;
            }
        }
        const fs::path target = s->folder / (HashName(X509_subject_name_hash(x)) + "." +
                                             std::to_string(FirstFreeNumber(files)));
        return Written(WriteAtomically(target, Pem([x](BIO* bio) { PEM_write_bio_X509(bio, x); })));
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl, uint32_t) override {
        Store* s = Find(stores_, store);
        X509_CRL* c = Find(crls_, crl);
        if (!s || !c)
            return Fail(EINVAL);
        if (s->openError)
            return Fail(s->openError);
        const std::string hash =
            HashName(X509_NAME_hash_ex(X509_CRL_get_issuer(c), nullptr, nullptr, nullptr));
        const auto files = NumberedFiles(s->folder, hash, true);
        fs::path target = s->folder / (hash + ".r" + std::to_string(FirstFreeNumber(files)));
        // An equal CRL is one of the same issuer; the new one takes its place.
        for (const auto& [number, file] : files) {
            auto existing = ReadPem<X509_CRL>(file, PEM_read_X509_CRL, X509_CRL_free);
            if (existing &&
                X509_NAME_cmp(X509_CRL_get_issuer(existing.get()), X509_CRL_get_issuer(c)) == 0) {
                target = file;
                break;
            }
        }
        return Written(
            WriteAtomically(target, Pem([c](BIO* bio) { PEM_write_bio_X509_CRL(bio, c); })));
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
        return AnsiToWide(std::strerror(static_cast<int>(code)));
    }

private:
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
    bool Written(int error) { return error == 0 || Fail(static_cast<uint32_t>(error)); }

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
