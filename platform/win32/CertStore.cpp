// The store service over crypt32. Included before the Windows headers: these define the
// service's constant names as macros.
#include "platform/CertStore.h"

#include <windows.h>

#include <wincrypt.h> // after windows.h, which it needs

namespace platform {
namespace {

template <class T> T* Of(uintptr_t handle) {
    return reinterpret_cast<T*>(handle);
}
template <class T> uintptr_t HandleOf(T* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

class Win32CertStoreService : public ICertStoreService {
public:
    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        return HandleOf(::CertOpenSystemStoreA(0, storeName.c_str()));
    }

    PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encoding, const unsigned char* data,
                                                uint32_t length) override {
        return HandleOf(::CertCreateCertificateContext(encoding, data, length));
    }

    PCCRL_CONTEXT CertCreateCRLContext(uint32_t encoding, const unsigned char* data,
                                       uint32_t length) override {
        return HandleOf(::CertCreateCRLContext(encoding, data, length));
    }

    uint32_t CertGetNameStringA(PCCERT_CONTEXT certificate, uint32_t type, uint32_t flags,
                                char* buffer, uint32_t size) override {
        return ::CertGetNameStringA(Of<const CERT_CONTEXT>(certificate), type, flags, nullptr,
                                    buffer, size);
    }

    bool CertFindExtension(const std::string& objectId, PCCERT_CONTEXT certificate) override {
        const CERT_INFO* info = Of<const CERT_CONTEXT>(certificate)->pCertInfo;
        return ::CertFindExtension(objectId.c_str(), info->cExtension, info->rgExtension) !=
               nullptr;
    }

    bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT certificate,
                                          uint32_t disposition) override {
        return ::CertAddCertificateContextToStore(Of<void>(store),
                                                  Of<const CERT_CONTEXT>(certificate), disposition,
                                                  nullptr) != FALSE;
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl,
                                  uint32_t disposition) override {
        return ::CertAddCRLContextToStore(Of<void>(store), Of<const CRL_CONTEXT>(crl), disposition,
                                          nullptr) != FALSE;
    }

    uint32_t GetLastError() override { return ::GetLastError(); }

    void CertFreeCertificateContext(PCCERT_CONTEXT certificate) override {
        ::CertFreeCertificateContext(Of<const CERT_CONTEXT>(certificate));
    }

    void CertFreeCRLContext(PCCRL_CONTEXT crl) override {
        ::CertFreeCRLContext(Of<const CRL_CONTEXT>(crl));
    }

    void CertCloseStore(HCERTSTORE store, uint32_t flags) override {
        ::CertCloseStore(Of<void>(store), flags);
    }

    std::string ErrorText(uint32_t code) override {
        char text[256];
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof(text), nullptr);
        return std::string(text, length);
    }
};

} // namespace

ICertStoreService& SystemCertStoreService() {
    static Win32CertStoreService service;
    return service;
}

} // namespace platform
