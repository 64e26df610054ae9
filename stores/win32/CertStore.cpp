// The store service over crypt32. Included before the Windows headers: these define the
// service's constant names as macros.
#include "stores/CertStore.h"

#include <windows.h>

#include <wincrypt.h> // after windows.h, which it needs

#include <memory>
#include <string_view>

namespace platform {
namespace {

template <class T> T* Of(uintptr_t handle) {
    return reinterpret_cast<T*>(handle);
}
template <class T> uintptr_t HandleOf(T* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// A store as the service hands it out, with the place its user knows it by. crypt32 takes an
// add to a store that never opened (a null handle) for a success, so such a store keeps the
// error of its open instead, and every change to it fails with that error.
struct OpenedStore {
    ::HCERTSTORE system;
    DWORD openError;
    std::string place;
    bool root; // the store of the authorities that may end a chain
};

OpenedStore& StoreOf(uintptr_t handle) {
    return *Of<OpenedStore>(handle);
}

// The change, or the open's error when the store did not open. A store is written through at
// each change: Wine's crypt32 writes only when the last reference to the store goes, and each
// add it refuses as already there keeps a reference, so that the store would never be
// written and a run that adds certificates beside ones already there would lose them.
template <class Change> bool ChangeStore(uintptr_t store, Change change) {
    const OpenedStore& opened = StoreOf(store);
    if (!opened.system) {
        SetLastError(opened.openError);
        return false;
    }
    if (!change(opened.system))
        return false;
    CertControlStore(opened.system, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    return true;
}

// What finding and deleting need of certificates and of CRLs, which crypt32 handles alike
// under other names.
struct Certificates {
    using Context = CERT_CONTEXT;
    static constexpr bool kAuthority = true;
    // crypt32 finds an existing certificate by its issuer and serial number, which another
    // certificate may share: the bytes decide.
    static const Context* FindNext(::HCERTSTORE store, const Context* wanted,
                                   const Context* previous) {
        return ::CertFindCertificateInStore(store, wanted->dwCertEncodingType, 0,
                                            CERT_FIND_EXISTING, wanted, previous);
    }
    static std::string_view Bytes(const Context* context) {
        return {reinterpret_cast<const char*>(context->pbCertEncoded), context->cbCertEncoded};
    }
    static bool Delete(const Context* context) { return ::CertDeleteCertificateFromStore(context); }
    static void Free(const Context* context) { ::CertFreeCertificateContext(context); }
};

struct Crls {
    using Context = CRL_CONTEXT;
    static constexpr bool kAuthority = false;
    // crypt32 finds an existing CRL by its issuer alone.
    static const Context* FindNext(::HCERTSTORE store, const Context* wanted,
                                   const Context* previous) {
        return ::CertFindCRLInStore(store, wanted->dwCertEncodingType, 0, CRL_FIND_EXISTING, wanted,
                                    previous);
    }
    static std::string_view Bytes(const Context* context) {
        return {reinterpret_cast<const char*>(context->pbCrlEncoded), context->cbCrlEncoded};
    }
    // Wine's crypt32 gives back a reference too many when it deletes a CRL of a system store
    // (a collection of stores), which breaks its heap: one more is taken for it, and the
    // context stays until the process ends.
    static bool Delete(const Context* context) {
        return ::CertDeleteCRLFromStore(::CertDuplicateCRLContext(context));
    }
    static void Free(const Context* context) { ::CertFreeCRLContext(context); }
};

template <class Kind> struct FreeContext {
    void operator()(const typename Kind::Context* context) const { Kind::Free(context); }
};
template <class Kind>
using OwnedContext = std::unique_ptr<const typename Kind::Context, FreeContext<Kind>>;

// The first context of the store with the wanted one's bytes, or none.
template <class Kind>
const typename Kind::Context* FirstMatch(::HCERTSTORE store, uintptr_t wanted) {
    const auto* object = Of<const typename Kind::Context>(wanted);
    const typename Kind::Context* found = nullptr;
    do
        found = Kind::FindNext(store, object, found);
    while (found && Kind::Bytes(found) != Kind::Bytes(object));
    return found;
}

template <class Kind> std::vector<TStorePlace> FindIn(uintptr_t store, uintptr_t wanted) {
    const OpenedStore& opened = StoreOf(store);
    const OwnedContext<Kind> match(opened.system ? FirstMatch<Kind>(opened.system, wanted)
                                                 : nullptr);
    const bool present = match != nullptr;
    return {{opened.place, present, present && opened.root && Kind::kAuthority}};
}

template <class Kind> bool DeleteFrom(uintptr_t store, uintptr_t wanted) {
    return ChangeStore(store, [&](::HCERTSTORE system) {
        // Each delete frees the context it is given, even when it fails.
        for (const typename Kind::Context* match; (match = FirstMatch<Kind>(system, wanted));)
            if (!Kind::Delete(match))
                return false;
        return true;
    });
}

class Win32CertStoreService : public ICertStoreService {
public:
    explicit Win32CertStoreService(TStoreScope scope) : scope_(scope) {}

    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        const ::HCERTSTORE system = OpenSystemStore(storeName);
        const DWORD error = system ? ERROR_SUCCESS : ::GetLastError();
        const std::string scopeName =
            scope_ == TStoreScope::CurrentUser ? "CurrentUser" : "LocalMachine";
        // The handle owns it until the store is closed.
        return HandleOf(std::make_unique<OpenedStore>(system, error, scopeName + "\\" + storeName,
                                                      _stricmp(storeName.c_str(), "ROOT") == 0)
                            .release());
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
        return ChangeStore(store, [&](::HCERTSTORE system) {
            return ::CertAddCertificateContextToStore(system, Of<const CERT_CONTEXT>(certificate),
                                                      disposition, nullptr);
        });
    }

    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl,
                                  uint32_t disposition) override {
        return ChangeStore(store, [&](::HCERTSTORE system) {
            return ::CertAddCRLContextToStore(system, Of<const CRL_CONTEXT>(crl), disposition,
                                              nullptr);
        });
    }

    bool CertControlStoreCommit(HCERTSTORE store) override {
        if (const ::HCERTSTORE system = StoreOf(store).system)
            CertControlStore(system, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        return true;
    }

    std::vector<TStorePlace> CertFindInStore(HCERTSTORE store,
                                             PCCERT_CONTEXT certificate) override {
        return FindIn<Certificates>(store, certificate);
    }

    std::vector<TStorePlace> CrlFindInStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        return FindIn<Crls>(store, crl);
    }

    bool CertDeleteFromStore(HCERTSTORE store, PCCERT_CONTEXT certificate) override {
        return DeleteFrom<Certificates>(store, certificate);
    }

    bool CrlDeleteFromStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        return DeleteFrom<Crls>(store, crl);
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

private:
    // The user's stores as the system has always opened them; the computer's, which every
    // account reads, through the registry under HKEY_LOCAL_MACHINE.
    ::HCERTSTORE OpenSystemStore(const std::string& storeName) const {
        if (scope_ == TStoreScope::CurrentUser)
            return ::CertOpenSystemStoreA(0, storeName.c_str());
        return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                               storeName.c_str());
    }

    TStoreScope scope_;
};

} // namespace

ICertStoreService& SystemCertStoreService(TStoreScope scope) {
    static Win32CertStoreService user(TStoreScope::CurrentUser), machine(TStoreScope::LocalMachine);
    return scope == TStoreScope::CurrentUser ? user : machine;
}

} // namespace platform
