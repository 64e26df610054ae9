#include "MachineCertStore.h"

#include "platform/CodePages.h"
#include "stores/posix/BrowserPolicies.h"
#include "stores/posix/TrustAnchors.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace platform {
namespace {

using machine::BrowserPolicies;
using machine::BrowserPolicy;

class MachineCertStoreServiceImpl : public ICertStoreService {
public:
    explicit MachineCertStoreServiceImpl(ICertStoreService& decoder) : decoder_(decoder) {}

    HCERTSTORE CertOpenSystemStoreA(const std::string& storeName) override {
        stores_[++lastStore_] = storeName;
        return lastStore_;
    }
    PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encoding, const unsigned char* data,
                                                uint32_t length) override {
        const PCCERT_CONTEXT certificate =
            decoder_.CertCreateCertificateContext(encoding, data, length);
        if (certificate)
            der_[certificate].assign(reinterpret_cast<const char*>(data), length);
        return certificate;
    }
    PCCRL_CONTEXT CertCreateCRLContext(uint32_t encoding, const unsigned char* data,
                                       uint32_t length) override {
        return decoder_.CertCreateCRLContext(encoding, data, length);
    }
    uint32_t CertGetNameStringA(PCCERT_CONTEXT certificate, uint32_t type, uint32_t flags,
                                char* buffer, uint32_t size) override {
        return decoder_.CertGetNameStringA(certificate, type, flags, buffer, size);
    }
    bool CertFindExtension(const std::string& objectId, PCCERT_CONTEXT certificate) override {
        return decoder_.CertFindExtension(objectId, certificate);
    }

    bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT certificate,
                                          uint32_t) override {
        return InRoot(store, certificate, [this](const std::string& der) {
            const machine::TrustAnchors& anchors = Anchors();
            changed_ = anchors.Add(der) || changed_;
            EachPolicy([&](const BrowserPolicy& policy) { policy.Add(der, anchors.FileOf(der)); });
        });
    }
    bool CertAddCRLContextToStore(HCERTSTORE, PCCRL_CONTEXT, uint32_t) override { return true; }

    bool CertControlStoreCommit(HCERTSTORE store) override {
        return Attempt([&] {
            if (stores_.at(store) != "ROOT" || !changed_)
                return;
            Anchors().Refresh(removed_);
            changed_ = false;
            removed_.clear();
        });
    }

    std::vector<TStorePlace> CertFindInStore(HCERTSTORE store,
                                             PCCERT_CONTEXT certificate) override {
        std::vector<TStorePlace> places;
        InRoot(store, certificate, [&](const std::string& der) {
            const machine::TrustAnchors& anchors = Anchors();
            const bool anchored = anchors.Holds(der);
            places.push_back({anchors.Place(), anchored, anchored && anchors.Trusts(der)});
            // A policy file that cannot be read holds nothing of ours.
            for (const auto& policy : BrowserPolicies()) {
                bool held = false;
                try {
                    held = policy->Holds(der, anchors.FileOf(der));
                } catch (const std::exception&) {
                }
                places.push_back({policy->Place(), held, held});
            }
        });
        return places;
    }
    std::vector<TStorePlace> CrlFindInStore(HCERTSTORE, PCCRL_CONTEXT) override { return {}; }

    bool CertDeleteFromStore(HCERTSTORE store, PCCERT_CONTEXT certificate) override {
        return InRoot(store, certificate, [this](const std::string& der) {
            // The anchor first: a policy file that fails must not keep the root trusted by
            // every other program.
            const machine::TrustAnchors& anchors = Anchors();
            if (anchors.Remove(der)) {
                removed_.insert(der);
                changed_ = true;
            }
            EachPolicy(
                [&](const BrowserPolicy& policy) { policy.Remove(der, anchors.FileOf(der)); });
        });
    }
    bool CrlDeleteFromStore(HCERTSTORE, PCCRL_CONTEXT) override { return true; }

    uint32_t GetLastError() override { return lastError_; }
    void CertFreeCertificateContext(PCCERT_CONTEXT certificate) override {
        der_.erase(certificate);
        decoder_.CertFreeCertificateContext(certificate);
    }
    void CertFreeCRLContext(PCCRL_CONTEXT crl) override { decoder_.CertFreeCRLContext(crl); }
    void CertCloseStore(HCERTSTORE store, uint32_t) override { stores_.erase(store); }
    std::u16string ErrorText(uint32_t code) override {
        if (code == lastError_ && !lastText_.empty())
            return Utf8ToWide(lastText_);
        return decoder_.ErrorText(code);
    }

private:
    // The anchors, found once the first root needs them.
    const machine::TrustAnchors& Anchors() {
        if (!anchors_)
            anchors_ = std::make_unique<machine::TrustAnchors>();
        return *anchors_;
    }
    // The change in every policy, also after one has failed; the first failure is then thrown.
    template <class Change> static void EachPolicy(const Change& change) {
        std::exception_ptr failure;
        for (const auto& policy : BrowserPolicies()) {
            try {
                change(*policy);
            } catch (const std::exception&) {
                failure = failure ? failure : std::current_exception();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
    }
    // Does the change for a certificate of "ROOT"; any other store has nothing to change.
    template <class Change>
    bool InRoot(HCERTSTORE store, PCCERT_CONTEXT certificate, const Change& change) {
        return Attempt([&] {
            if (stores_.at(store) == "ROOT")
                change(der_.at(certificate));
        });
    }
    // False with the error kept for GetLastError and ErrorText when the step throws.
    template <class Step> bool Attempt(const Step& step) {
        try {
            step();
            return true;
        } catch (const std::system_error& e) {
            return Fail(static_cast<uint32_t>(e.code().value()), e.what());
        } catch (const std::exception& e) {
            return Fail(EINVAL, e.what());
        }
    }
    bool Fail(uint32_t code, const std::string& text) {
        lastError_ = code;
        lastText_ = text;
        return false;
    }

    ICertStoreService& decoder_;
    std::unique_ptr<machine::TrustAnchors> anchors_;
    std::map<HCERTSTORE, std::string> stores_;  // the open stores' names
    std::map<PCCERT_CONTEXT, std::string> der_; // the decoded certificates' bytes
    HCERTSTORE lastStore_ = 0;
    bool changed_ = false;          // the anchors changed since the tool last ran
    std::set<std::string> removed_; // the roots taken out since the tool last ran
    uint32_t lastError_ = 0;
    std::string lastText_; // the last failure's own words, with the path
};

} // namespace

ICertStoreService& MachineCertStoreService(ICertStoreService& decoder) {
    static MachineCertStoreServiceImpl service(decoder);
    return service;
}

} // namespace platform
