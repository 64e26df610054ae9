#pragma once

#include <cstdint>
#include <string>

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

class ICertStoreService {
public:
    virtual ~ICertStoreService() = default;

    // The current user's system store of that name.
    virtual HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) = 0;
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
    virtual uint32_t GetLastError() = 0;
    virtual void CertFreeCertificateContext(PCCERT_CONTEXT certificate) = 0;
    virtual void CertFreeCRLContext(PCCRL_CONTEXT crl) = 0;
    virtual void CertCloseStore(HCERTSTORE store, uint32_t flags) = 0;
    // The system's own description of an error code, in the system's language, which the
    // program's code page need not hold.
    virtual std::u16string ErrorText(uint32_t code) = 0;
};

// The system's certificate store service.
ICertStoreService& SystemCertStoreService();

} // namespace platform
