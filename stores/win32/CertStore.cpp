// The store service over crypt32. Included before the Windows headers: these define the
// service's constant names as macros.
#include "stores/CertStore.h"

#include <windows.h>

#include <wincrypt.h> // after windows.h, which it needs

#include <memory>

namespace platform {
namespace {

template <class T> T* Of(uintptr_t handle) {
    return reinterpret_cast<T*>(handle);
}
template <class T> uintptr_t HandleOf(T* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// A store as the service hands it out. crypt32 takes an add to a store that never opened
// (a null handle) for a success, so such a store keeps the error of its open instead, and
// every add to it fails with that error.
struct OpenedStore {
    ::HCERTSTORE system;
    DWORD openError;
};

OpenedStore& StoreOf(uintptr_t handle) {
    return *Of<OpenedStore>(handle);
}

// The add, or the open's error when the store did not open. A store is written through at
// each add: Wine's crypt32 writes only when the last reference to the store goes, and each
// add it refuses as already there keeps a reference, so that the store would never be
// written and a run that adds certificates beside ones already there would lose them.
template <class Add> bool AddTo(uintptr_t store, Add add) {
    const OpenedStore& opened = StoreOf(store);
    if (!opened.system) {
        SetLastError(opened.openError);
        return false;
    }
    if (!add(opened.system))
        return false;
    CertControlStore(opened.system, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    return true;
}

class Win32CertStoreService : public ICertStoreService {
public:
    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        const ::HCERTSTORE system = ::CertOpenSystemStoreA(0, storeName.c_str());
        const DWORD error = system ? ERROR_SUCCESS : ::GetLastError();
        // The handle owns it until the store is closed.
        return HandleOf(std::make_unique<OpenedStore>(system, error).release());
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
        return AddTo(store, [&](::HCERTSTORE system) {
            return ::CertAddCertificateContextToStore(system, Of<const CERT_CONTEXT>(certificate),
                                                      disposition, nullptr);
        });
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl,
                                  uint32_t disposition) override {
        return AddTo(store, [&](::HCERTSTORE system) {
            return ::CertAddCRLContextToStore(system, Of<const CRL_CONTEXT>(crl), disposition,
                                              nullptr);
        });
    }

    uint32_t GetLastError() override { return ::GetLastError(); }

    void CertFreeCertificateContext(PCCERT_CONTEXT certificate) override {
        ::CertFreeCertificateContext(Of<const CERT_CONTEXT>(certificate));
    }

    void CertFreeCRLContext(PCCRL_CONTEXT crl) override {
        ::CertFreeCRLContext(Of<const CRL_CONTEXT>(crl));
    }

    void CertCloseStore(HCERTSTORE store, uint32_t flags) override {
        const std::unique_ptr<OpenedStore> opened(&StoreOf(store));
        if (opened->system)
            ::CertCloseStore(opened->system, flags);
    }

    std::u16string ErrorText(uint32_t code) override {
        wchar_t text[256];
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, std::size(text), nullptr);
        return std::u16string(text, text + length);
    }
};

} // namespace

ICertStoreService& SystemCertStoreService() {
    static Win32CertStoreService service;
    return service;
}

} // namespace platform
