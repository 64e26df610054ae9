#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The certificate store service of the system, shaped after the CryptoAPI calls that the
// installer makes. Handles are opaque; 0 is none.
namespace platform {

using HCERTSTORE = uintptr_t;
using PCCERT_CONTEXT = uintptr_t;
using PCCRL_CONTEXT = uintptr_t;

constexpr uint32_t X509_ASN_ENCODING = 0x00000001;
constexpr uint32_t PKCS_7_ASN_ENCODING = 0x00010000;
constexpr uint32_t CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;
constexpr uint32_t CERT_NAME_ISSUER_FLAG = 1;
constexpr uint32_t CERT_STORE_ADD_NEW = 1;
constexpr uint32_t CERT_STORE_ADD_REPLACE_EXISTING = 3;
constexpr uint32_t CRYPT_E_EXISTS = 0x80092005;
constexpr const char* szOID_BASIC_CONSTRAINTS2 = "2.5.29.19";

// Whose stores: the current user's, or the computer's, which every account and every program
// of it reads.
enum class TStoreScope { CurrentUser, LocalMachine };

// One place a store keeps its objects in (a system store, a folder, a database, a file), as its
// user knows it, and whether an object is there: present, and for a certificate, trusted as an
// authority that may end a chain.
struct TStorePlace {
    std::string place;
    bool present = false;
    bool trusted = false;
};

class ICertStoreService {
public:
    virtual ~ICertStoreService() = default;

    // The system store of that name in the service's scope.
    virtual HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) = 0;
    // The store as it is, for looking into and taking out of: nothing missing is made, and a
    // store that is not there holds nothing. The system's own stores are always there.
    virtual HCERTSTORE CertOpenExistingStore(const std::string& storeName) {
        return CertOpenSystemStoreA(storeName);
    }
    // A decoded certificate, or 0 when the bytes are none the service can decode.
    virtual PCCERT_CONTEXT
    CertCreateCertificateContext(uint32_t encoding, const unsigned char* data, uint32_t length) = 0;
    virtual PCCRL_CONTEXT CertCreateCRLContext(uint32_t encoding, const unsigned char* data,
                                               uint32_t length) = 0;
    // Writes the name, ended by a zero character, into a buffer of size characters; returns
    // the characters written, the zero included.
    virtual uint32_t CertGetNameStringA(PCCERT_CONTEXT certificate, uint32_t type, uint32_t flags,
                                        char* buffer, uint32_t size) = 0;
    // Whether the certificate carries the extension with that object identifier.
    virtual bool CertFindExtension(const std::string& objectId, PCCERT_CONTEXT certificate) = 0;
    // False on failure, with the error code left for GetLastError.
    virtual bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT certificate,
                                                  uint32_t disposition) = 0;
    virtual bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl,
                                          uint32_t disposition) = 0;
    // Makes a store's adds and deletes take effect where the system needs a step after them
    // (the machine's trust tool, say); a no-op elsewhere. False on failure, with the error code
    // left for GetLastError.
    virtual bool CertControlStoreCommit(HCERTSTORE store) = 0;
    // Each place of the store, and whether the certificate (or CRL), matched by its bytes, is
    // there. A store with no place in this scope gives none.
    virtual std::vector<TStorePlace> CertFindInStore(HCERTSTORE store,
                                                     PCCERT_CONTEXT certificate) = 0;
    virtual std::vector<TStorePlace> CrlFindInStore(HCERTSTORE store, PCCRL_CONTEXT crl) = 0;
    // Takes the certificate (or CRL), matched by its bytes, out of every place of the store;
    // anything else there stays as it was. True when it is gone or was never there; false on
    // failure, with the error code left for GetLastError.
    virtual bool CertDeleteFromStore(HCERTSTORE store, PCCERT_CONTEXT certificate) = 0;
    virtual bool CrlDeleteFromStore(HCERTSTORE store, PCCRL_CONTEXT crl) = 0;
    virtual uint32_t GetLastError() = 0;
    virtual void CertFreeCertificateContext(PCCERT_CONTEXT certificate) = 0;
    virtual void CertFreeCRLContext(PCCRL_CONTEXT crl) = 0;
    virtual void CertCloseStore(HCERTSTORE store, uint32_t flags) = 0;
    // The system's own description of an error code, in the system's language, which the
    // program's code page need not hold.
    virtual std::u16string ErrorText(uint32_t code) = 0;
};

// The system's certificate store service for that scope.
ICertStoreService& SystemCertStoreService(TStoreScope scope = TStoreScope::CurrentUser);

// Whether this process may change the computer's stores: root, or an administrator whose
// rights are in effect.
bool HasAdministratorRights();

} // namespace platform
