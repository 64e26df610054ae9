#pragma once

#include "runtime/Exception.h"
#include "stores/CertStore.h"

#include <string>

namespace test {

// A store service with faults put in front of another one: the next open of a chosen store
// raises an error, and a number of certificate adds fail with "access denied".
class FaultyStores : public platform::ICertStoreService {
public:
    explicit FaultyStores(platform::ICertStoreService& stores) : stores_(stores) {}

    std::string throwOnOpen;
    int failingCertificateAdds = 0;
    static constexpr uint32_t kAccessDenied = 5;

    platform::HCERTSTORE CertOpenSystemStoreA(const std::string& name) override {
        if (!throwOnOpen.empty() && name == throwOnOpen) {
            throwOnOpen.clear();
            // Long enough that a box shows it on several lines.
            throw Exception("The store " + name +
                            " is not there yet, and the installation cannot go on without it; "
                            "the button starts it again once the store is there");
        }
        return stores_.CertOpenSystemStoreA(name);
    }
    platform::PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encoding,
                                                          const unsigned char* data,
                                                          uint32_t length) override {
        return stores_.CertCreateCertificateContext(encoding, data, length);
    }
    platform::PCCRL_CONTEXT CertCreateCRLContext(uint32_t encoding, const unsigned char* data,
                                                 uint32_t length) override {
        return stores_.CertCreateCRLContext(encoding, data, length);
    }
    uint32_t CertGetNameStringA(platform::PCCERT_CONTEXT certificate, uint32_t type, uint32_t flags,
                                char* buffer, uint32_t size) override {
        return stores_.CertGetNameStringA(certificate, type, flags, buffer, size);
    }
    bool CertFindExtension(const std::string& objectId,
                           platform::PCCERT_CONTEXT certificate) override {
        return stores_.CertFindExtension(objectId, certificate);
    }
    bool CertAddCertificateContextToStore(platform::HCERTSTORE store,
                                          platform::PCCERT_CONTEXT certificate,
                                          uint32_t disposition) override {
        if (failingCertificateAdds > 0) {
            --failingCertificateAdds;
            failed_ = true;
            return false;
        }
        failed_ = false;
        return stores_.CertAddCertificateContextToStore(store, certificate, disposition);
    }
    bool CertAddCRLContextToStore(platform::HCERTSTORE store, platform::PCCRL_CONTEXT crl,
                                  uint32_t disposition) override {
        failed_ = false;
        return stores_.CertAddCRLContextToStore(store, crl, disposition);
    }
    bool CertControlStoreCommit(platform::HCERTSTORE store) override {
        return stores_.CertControlStoreCommit(store);
    }
    std::vector<platform::TStorePlace>
    CertFindInStore(platform::HCERTSTORE store, platform::PCCERT_CONTEXT certificate) override {
        return stores_.CertFindInStore(store, certificate);
    }
    std::vector<platform::TStorePlace> CrlFindInStore(platform::HCERTSTORE store,
                                                      platform::PCCRL_CONTEXT crl) override {
        return stores_.CrlFindInStore(store, crl);
    }
    bool CertDeleteFromStore(platform::HCERTSTORE store,
                             platform::PCCERT_CONTEXT certificate) override {
        failed_ = false;
        return stores_.CertDeleteFromStore(store, certificate);
    }
    bool CrlDeleteFromStore(platform::HCERTSTORE store, platform::PCCRL_CONTEXT crl) override {
        failed_ = false;
        return stores_.CrlDeleteFromStore(store, crl);
    }
    uint32_t GetLastError() override { return failed_ ? kAccessDenied : stores_.GetLastError(); }
    void CertFreeCertificateContext(platform::PCCERT_CONTEXT certificate) override {
        stores_.CertFreeCertificateContext(certificate);
    }
    void CertFreeCRLContext(platform::PCCRL_CONTEXT crl) override {
        stores_.CertFreeCRLContext(crl);
    }
    void CertCloseStore(platform::HCERTSTORE store, uint32_t flags) override {
        stores_.CertCloseStore(store, flags);
    }
    std::u16string ErrorText(uint32_t code) override { return stores_.ErrorText(code); }

private:
    platform::ICertStoreService& stores_;
    bool failed_ = false;
};

} // namespace test
