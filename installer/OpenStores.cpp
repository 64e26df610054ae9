#include "OpenStores.h"

#include <stdexcept>

using namespace platform;

namespace {

TStoreHandle OpenStore(ICertStoreService& service, const char* name) {
    return TStoreHandle(service.CertOpenSystemStoreA(name),
                        [&service](uintptr_t store) { service.CertCloseStore(store, 0); });
}

} // namespace

TOpenStores::TOpenStores(ICertStoreService& service)
    : addressBook_(OpenStore(service, "AddressBook")), ca_(OpenStore(service, "CA")),
      root_(OpenStore(service, "ROOT")) {}

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
