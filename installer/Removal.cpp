#include "Removal.h"

#include "BundleObjects.h"
#include "OpenStores.h"
#include "uCrypt.h"

using namespace platform;

namespace {

bool Delete(ICertStoreService& service, HCERTSTORE store, const TBundleObject& object) {
    return object.crl ? service.CrlDeleteFromStore(store, object.context)
                      : service.CertDeleteFromStore(store, object.context);
}

} // namespace

bool RemoveBundle(ICertStoreService& service, const TUnZip& bundle,
                  const std::function<void(const std::exception&)>& failed) {
    const TOpenStores stores(service, TStoreOpening::ExistingOnly);
    bool removed = true;
    const auto attempt = [&](const std::function<bool()>& change) {
        try {
            if (!change())
                throw ucrypt::LastError(service);
        } catch (const std::exception& e) {
            removed = false;
            failed(e);
        }
    };
    ForEachBundleObject(service, bundle, [&](const TBundleObject& object) {
        for (const std::string& store : TOpenStores::Names())
            attempt([&] { return Delete(service, stores.Of(store), object); });
    });
    for (const std::string& store : TOpenStores::Names())
        attempt([&] { return service.CertControlStoreCommit(stores.Of(store)); });
    return removed;
}
