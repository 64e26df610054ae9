#include "OpenStores.h"

#include <stdexcept>

using namespace platform;

namespace {

TStoreHandle OpenStore(ICertStoreService& service, const char* name, TStoreOpening opening) {
    return TStoreHandle(opening == TStoreOpening::MakeMissing ? service.CertOpenSystemStoreA(name)
                                                              : service.CertOpenExistingStore(name),
                        [&service](uintptr_t store) { service.CertCloseStore(store, 0); });
}

} // namespace

TOpenStores::TOpenStores(ICertStoreService& service, TStoreOpening opening)
    : addressBook_(OpenStore(service, "AddressBook", opening)),
      ca_(OpenStore(service, "CA", opening)), root_(OpenStore(service, "ROOT", opening)) {}

TOpenStores::~TOpenStores() {
    ca_.Release();
    root_.Release();
}

const std::vector<std::string>& TOpenStores::Names() {
    static const std::vector<std::string> names{"AddressBook", "CA", "ROOT"};
    return names;
}

HCERTSTORE TOpenStores::Of(const std::string& name) const {
    if (name == "ROOT")
        return root_.Get();
    if (name == "CA")
        return ca_.Get();
    if (name == "AddressBook")
        return addressBook_.Get();
    throw std::invalid_argument("no store " + name);
}
