#include "StatusReport.h"

#include "BundleObjects.h"
#include "OpenStores.h"

using namespace platform;

namespace {

std::vector<TStorePlace> Places(ICertStoreService& service, HCERTSTORE store,
                                const TBundleObject& object) {
    return object.crl ? service.CrlFindInStore(store, object.context)
                      : service.CertFindInStore(store, object.context);
}

const char* State(const TStorePlace& place) {
    if (!place.present)
        return "missing";
    return place.trusted ? "trusted" : "present";
}

} // namespace

bool ReportStatus(ICertStoreService& service, const TUnZip& bundle,
                  const std::function<void(const std::string&)>& line) {
    const TOpenStores stores(service, TStoreOpening::ExistingOnly);
    bool inPlace = true;
    ForEachBundleObject(service, bundle, [&](const TBundleObject& object) {
        for (const std::string& store : object.stores) {
            // A root that is there but not trusted is of no use as a root.
            const bool mustBeTrusted = store == "ROOT" && !object.crl;
            for (const TStorePlace& place : Places(service, stores.Of(store), object)) {
                inPlace = inPlace && place.present && (place.trusted || !mustBeTrusted);
                line(store + '\t' + place.place + '\t' + object.name + '\t' + State(place));
            }
        }
    });
    return inPlace;
}
