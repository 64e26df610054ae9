#include "stores/posix/HashedFolder.h"

#include "stores/CertStore.h"
#include "stores/posix/DataFolder.h"
#include "stores/posix/OpenSslObjects.h"

#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <random>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

const std::string kTemporaryPrefix = ".tmp-";

// The names in a folder, "." and ".." left out.
std::vector<std::string> NamesIn(int folder) {
    std::vector<std::string> names;
    FileDescriptor own(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const Owned<DIR, closedir> listing(own.Get() >= 0 ? fdopendir(own.Get()) : nullptr);
    if (!listing)
        return names;
    own.Release(); // the listing closes it
    while (const dirent* entry = readdir(listing.get()))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    return names;
}

// What a writer killed before its rename left behind. Only the holder of the store's lock
// writes, so while the lock is ours every temporary file there is stale.
void RemoveStaleTemporaries(int folder) {
    for (const std::string& name : NamesIn(folder))
        if (name.rfind(kTemporaryPrefix, 0) == 0)
            unlinkat(folder, name.c_str(), 0);
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
    const BioPtr bio(BIO_new(BIO_s_mem()));
    write(bio.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

std::string HashName(unsigned long hash) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lx", hash);
    return name;
}

using NumberedFiles = std::map<int, std::string>;

// The files of a store that belong to one hash, by their numbers: "<hash>.<n>" or
// "<hash>.r<n>". A name whose number does not read as one, or has a leading zero (OpenSSL
// looks for "<hash>.0" and on, never "<hash>.00"), is no such file.
NumberedFiles FilesOfHash(int folder, const std::string& hash, bool crls) {
    NumberedFiles files;
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

int FirstFreeNumber(const NumberedFiles& files) {
    int n = 0;
    while (files.count(n))
        ++n;
    return n;
}

// The object a numbered file holds; none for a file that is no regular file or holds none. A
// name that is taken keeps its number all the same: nothing else is written over it.
template <class T, class Read>
std::unique_ptr<T, void (*)(T*)> ReadPem(int folder, const std::string& name, Read read,
                                         void (*free)(T*)) {
    const std::optional<std::string> pem = ReadRegularFile(folder, name);
    if (!pem)
        return {nullptr, free};
    const BioPtr bio(BIO_new_mem_buf(pem->data(), static_cast<int>(pem->size())));
    return {read(bio.get(), nullptr, nullptr, nullptr), free};
}

// The DER bytes of the certificate (CRL) a numbered file holds; none for a file that holds none.
std::optional<std::string> DerIn(int folder, const std::string& file, bool crl) {
    if (crl) {
        const auto held = ReadPem<X509_CRL>(folder, file, PEM_read_bio_X509_CRL, X509_CRL_free);
        return held ? Der(held.get()) : std::nullopt;
    }
    const auto held = ReadPem<X509>(folder, file, PEM_read_bio_X509, X509_free);
    return held ? Der(held.get()) : std::nullopt;
}

// The numbered file that holds a certificate (CRL) of this DER, or the end.
NumberedFiles::const_iterator FileHolding(int folder, const NumberedFiles& files, bool crls,
                                          const std::optional<std::string>& der) {
    return std::find_if(files.begin(), files.end(), [&](const auto& numbered) {
        const auto held = DerIn(folder, numbered.second, crls);
        return held && held == der;
    });
}

// The hash that names a certificate's files: its subject's; a CRL's: its issuer's.
std::string HashOf(X509* certificate) {
    return HashName(X509_subject_name_hash(certificate));
}
std::string HashOf(X509_CRL* crl) {
    return HashName(X509_NAME_hash_ex(X509_CRL_get_issuer(crl), nullptr, nullptr, nullptr));
}

// The file among the issuer's numbered CRL files that holds a CRL of the same issuer, or ""
// when there is none.
std::string CrlFileOfIssuer(int folder, const NumberedFiles& files, X509_CRL* crl) {
    for (const auto& [number, file] : files) {
        auto existing = ReadPem<X509_CRL>(folder, file, PEM_read_bio_X509_CRL, X509_CRL_free);
        if (existing &&
            X509_NAME_cmp(X509_CRL_get_issuer(existing.get()), X509_CRL_get_issuer(crl)) == 0)
            return file;
    }
    return "";
}

std::vector<std::string> StoreFolder(const std::string& storeName) {
    return {"certinstall", "stores", storeName};
}

} // namespace

HashedFolder::HashedFolder(const std::string& storeName, bool make)
    : path_(OwnFolderPath(StoreFolder(storeName))),
      folder_(OpenOwnFolder(StoreFolder(storeName), openError_, make)),
      lock_(folder_.Get(), ".lock"), missing_(!make && openError_ == ENOENT) {}

// The change made under the store's lock: 0, or the error of the change or of the wait.
template <class Change> uint32_t HashedFolder::Locked(const Change& change) {
    LockFile::Held held;
    if (const uint32_t error = lock_.Acquire(held))
        return error;
    RemoveStaleTemporaries(folder_.Get());
    return change();
}

bool HashedFolder::Holds(const std::string& hash, bool crls,
                         const std::optional<std::string>& der) {
    if (openError_)
        return false;
    const auto files = FilesOfHash(folder_.Get(), hash, crls);
    return FileHolding(folder_.Get(), files, crls, der) != files.end();
}

uint32_t HashedFolder::AddCertificate(X509* certificate) {
    if (openError_)
        return openError_;
    const std::string hash = HashOf(certificate);
    const auto der = Der(certificate);
    // Looked for first without the lock: a store that holds it is not written to.
    if (Holds(hash, false, der))
        return CRYPT_E_EXISTS;
    return Locked([&]() -> uint32_t {
        const auto files = FilesOfHash(folder_.Get(), hash, false);
        if (FileHolding(folder_.Get(), files, false, der) != files.end())
            return CRYPT_E_EXISTS;
        return WriteAtomically(folder_.Get(), hash + "." + std::to_string(FirstFreeNumber(files)),
                               Pem([=](BIO* bio) { PEM_write_bio_X509(bio, certificate); }));
    });
}

// An equal CRL is one of the same issuer; the new one takes its place.
uint32_t HashedFolder::AddCrl(X509_CRL* crl) {
    if (openError_)
        return openError_;
    const std::string hash = HashOf(crl);
    // Looked for first without the lock: a store that holds this very CRL is not written to.
    if (Holds(hash, true, Der(crl)))
        return 0;
    return Locked([&] {
        const auto files = FilesOfHash(folder_.Get(), hash, true);
        std::string target = CrlFileOfIssuer(folder_.Get(), files, crl);
        if (target.empty())
            target = hash + ".r" + std::to_string(FirstFreeNumber(files));
        return WriteAtomically(folder_.Get(), target,
                               Pem([=](BIO* bio) { PEM_write_bio_X509_CRL(bio, crl); }));
    });
}

bool HashedFolder::HoldsCertificate(X509* certificate) {
    return Holds(HashOf(certificate), false, Der(certificate));
}

bool HashedFolder::HoldsCrl(X509_CRL* crl) {
    return Holds(HashOf(crl), true, Der(crl));
}

uint32_t HashedFolder::RemoveCertificate(X509* certificate) {
    return Remove(HashOf(certificate), false, Der(certificate));
}

uint32_t HashedFolder::RemoveCrl(X509_CRL* crl) {
    return Remove(HashOf(crl), true, Der(crl));
}

// OpenSSL looks for "<hash>.0" and on up to the first number missing, so the last file of that
// run takes the place of the one removed, in one rename: no number is missing at any moment.
uint32_t HashedFolder::Remove(const std::string& hash, bool crls,
                              const std::optional<std::string>& der) {
    if (openError_)
        return missing_ ? 0 : openError_;
    // Looked for first without the lock: a store that lacks it is not written to.
    if (!Holds(hash, crls, der))
        return 0;
    return Locked([&]() -> uint32_t {
        const int folder = folder_.Get();
        const auto files = FilesOfHash(folder, hash, crls);
        const auto removed = FileHolding(folder, files, crls, der);
        if (removed == files.end())
            return 0;
        const int last = FirstFreeNumber(files) - 1;
        const bool gapLeft = removed->first < last;
        if (gapLeft ? renameat(folder, files.at(last).c_str(), folder, removed->second.c_str())
                    : unlinkat(folder, removed->second.c_str(), 0))
            return static_cast<uint32_t>(errno);
        fsync(folder);
        return 0;
    });
}

} // namespace platform
