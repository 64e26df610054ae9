// The current user's certificate stores on Linux: each store a hashed folder (see
// HashedFolder.h), and every add going on into the user's NSS databases, which the browsers
// and mail programs read (see NssDatabases.h): "ROOT" trusts its certificates there as
// authorities, the other stores add theirs without trust. A delete takes the object out of
// the folder and every database alike.
#include "stores/CertStore.h"

#include "platform/CodePages.h"
#include "stores/posix/CertificateNames.h"
#include "stores/posix/HashedFolder.h"
#include "stores/posix/MachineCertStore.h"
#include "stores/posix/NssDatabase.h"
#include "stores/posix/NssDatabases.h"
#include "stores/posix/OpenSslObjects.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace platform {
namespace {

// One open store: its folder, and the databases, shared by the stores open at a time.
struct Store {
    std::shared_ptr<nss::Databases> databases;
    HashedFolder folder;
    bool trustsAuthorities;
};

class PosixCertStoreService : public ICertStoreService {
public:
    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        return Open(storeName, true);
    }
    HCERTSTORE CertOpenExistingStore(const std::string& storeName) override {
        return Open(storeName, false);
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
        const Owned<ASN1_OBJECT, ASN1_OBJECT_free> object(OBJ_txt2obj(objectId.c_str(), 1));
        return x && object && X509_get_ext_by_OBJ(x, object.get(), -1) >= 0;
    }

    bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT certificate,
                                          uint32_t disposition) override {
        Store* s = Find(stores_, store);
        X509* x = Find(certificates_, certificate);
        if (!s || !x)
            return Fail(EINVAL);
        // The folder first; what it already holds may still be missing from a database.
        uint32_t folderError = s->folder.AddCertificate(x);
        if (folderError == CRYPT_E_EXISTS && disposition != CERT_STORE_ADD_NEW)
            folderError = 0;
        if (folderError && folderError != CRYPT_E_EXISTS)
            return Fail(folderError);
        const nss::Certificate added = ForDatabases(x);
        const std::string& der = added.der;
        const auto failure = s->databases->AddCertificate(added, s->trustsAuthorities);
        // A root goes on into "CA" after "ROOT": a database's failure must not keep it from
        // that folder, so the "CA" add reports it, as the certificate's one failure.
        if (failure && s->trustsAuthorities) {
            rootDatabaseFailures_.insert_or_assign(der, *failure);
            return folderError == 0 || Fail(folderError);
        }
        const auto deferred = rootDatabaseFailures_.extract(der);
        if (failure || deferred)
            return Fail(failure ? *failure : deferred.mapped());
        return folderError == 0 || Fail(folderError);
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl, uint32_t) override {
        Store* s = Find(stores_, store);
        X509_CRL* c = Find(crls_, crl);
        if (!s || !c)
            return Fail(EINVAL);
        return FolderThenDatabases(s->folder.AddCrl(c),
                                   [&] { return s->databases->AddCrl(Der(c).value_or("")); });
    }

    // The store's own changes take effect at once.
    bool CertControlStoreCommit(HCERTSTORE) override { return true; }

    std::vector<TStorePlace> CertFindInStore(HCERTSTORE store,
                                             PCCERT_CONTEXT certificate) override {
        Store* s = Find(stores_, store);
        X509* x = Find(certificates_, certificate);
        if (!s || !x)
            return {};
        const bool present = s->folder.HoldsCertificate(x);
        return Places(FolderPlace(*s, present, present && s->trustsAuthorities),
                      s->databases->FindCertificate(ForDatabases(x)));
    }

    std::vector<TStorePlace> CrlFindInStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        Store* s = Find(stores_, store);
        X509_CRL* c = Find(crls_, crl);
        if (!s || !c)
            return {};
        return Places(FolderPlace(*s, s->folder.HoldsCrl(c), false),
                      s->databases->FindCrl(Der(c).value_or("")));
    }

    bool CertDeleteFromStore(HCERTSTORE store, PCCERT_CONTEXT certificate) override {
        Store* s = Find(stores_, store);
        X509* x = Find(certificates_, certificate);
        if (!s || !x)
            return Fail(EINVAL);
        return FolderThenDatabases(s->folder.RemoveCertificate(x), [&] {
            return s->databases->DeleteCertificate(ForDatabases(x));
        });
    }

    bool CrlDeleteFromStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        Store* s = Find(stores_, store);
        X509_CRL* c = Find(crls_, crl);
        if (!s || !c)
            return Fail(EINVAL);
        return FolderThenDatabases(s->folder.RemoveCrl(c),
                                   [&] { return s->databases->DeleteCrl(Der(c).value_or("")); });
    }

    uint32_t GetLastError() override { return lastError_; }

    void CertFreeCertificateContext(PCCERT_CONTEXT certificate) override {
        certificates_.erase(certificate);
    }
    void CertFreeCRLContext(PCCRL_CONTEXT crl) override { crls_.erase(crl); }
    void CertCloseStore(HCERTSTORE store, uint32_t) override { stores_.erase(store); }

    // The text of the last failure names the database it happened in first.
    std::u16string ErrorText(uint32_t code) override {
        const std::u16string text = SystemText(code);
        if (code == lastError_ && !lastWhere_.empty())
            return Utf8ToWide(lastWhere_) + u": " + text;
        return text;
    }

private:
    // The certificate as the databases take it.
    static nss::Certificate ForDatabases(X509* x) {
        return {Der(x).value_or(""),
                Der(X509_get_subject_name(x)).value_or(""),
                Der(X509_get_issuer_name(x)).value_or(""),
                Der(X509_get0_serialNumber(x)).value_or(""),
                Der(X509_get_X509_PUBKEY(x)).value_or(""),
                SimpleDisplayName(x, false)};
    }
    // The store's folder, by its absolute path; then each database.
    static TStorePlace FolderPlace(const Store& store, bool present, bool trusted) {
        return {store.folder.Path().string(), present, trusted};
    }
    static std::vector<TStorePlace> Places(TStorePlace folder, std::vector<TStorePlace> databases) {
        databases.insert(databases.begin(), std::move(folder));
        return databases;
    }
    static std::u16string SystemText(uint32_t code) {
        if (code == CRYPT_E_EXISTS)
            return u"The object or property already exists.";
        if (code == kAnotherInstallerAtWork)
            return u"Another installer is at work on these stores; try again when it has "
                   u"finished";
        if (const auto text = nss::ErrorText(code))
            return Utf8ToWide(*text);
        return AnsiToWide(std::strerror(static_cast<int>(code)));
    }
    HCERTSTORE Open(const std::string& storeName, bool make) {
        // Without a place for the databases nothing is written, not even the folders.
        auto databases = Databases(make);
        return Keep(stores_,
                    std::make_unique<Store>(Store{
                        std::move(databases), HashedFolder(storeName, make), storeName == "ROOT"}));
    }
    // The databases of the stores open now, found and opened again once all have closed. The
    // stores of one run open alike.
    std::shared_ptr<nss::Databases> Databases(bool make) {
        std::shared_ptr<nss::Databases> databases = databases_.lock();
        if (!databases) {
            databases = std::make_shared<nss::Databases>(make);
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
    bool Fail(uint32_t code) { return Fail(nss::Failure{code, ""}); }
    // The databases' change once the folder's has gone well: the first failure fails the call.
    template <class DatabasesChange>
    bool FolderThenDatabases(uint32_t folderError, const DatabasesChange& databasesChange) {
        if (folderError)
            return Fail(folderError);
        const std::optional<nss::Failure> failure = databasesChange();
        return !failure || Fail(*failure);
    }
    bool Fail(const nss::Failure& failure) {
        lastError_ = failure.code;
        lastWhere_ = failure.where;
        return false;
    }

    std::weak_ptr<nss::Databases> databases_;
    // What the databases failed with when roots went into "ROOT", by the roots' bytes.
    std::map<std::string, nss::Failure> rootDatabaseFailures_;
    std::map<uintptr_t, std::unique_ptr<Store>> stores_;
    std::map<uintptr_t, X509Ptr> certificates_;
    std::map<uintptr_t, CrlPtr> crls_;
    uintptr_t lastHandle_ = 0;
    uint32_t lastError_ = 0;
    std::string lastWhere_; // the database the last failure happened in, if any
};

} // namespace

ICertStoreService& SystemCertStoreService(TStoreScope scope) {
    static PosixCertStoreService currentUser;
    if (scope == TStoreScope::LocalMachine)
        return MachineCertStoreService(currentUser);
    return currentUser;
}

} // namespace platform
