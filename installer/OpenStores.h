#pragma once

#include "StoreHandle.h"
#include "stores/CertStore.h"

#include <string>
#include <vector>

// Whether a run may make stores that are missing: an installation does, a look or a removal
// does not.
enum class TStoreOpening { MakeMissing, ExistingOnly };

// The three stores of one run, opened "AddressBook", "CA", "ROOT" and closed "CA", "ROOT",
// "AddressBook", however the run ends.
class TOpenStores {
public:
    explicit TOpenStores(platform::ICertStoreService& service,
                         TStoreOpening opening = TStoreOpening::MakeMissing);
    ~TOpenStores();
    TOpenStores(const TOpenStores&) = delete;
    TOpenStores& operator=(const TOpenStores&) = delete;

    // The three names, in the order of the opens.
    static const std::vector<std::string>& Names();
    // The open store of that name, one of the three.
    platform::HCERTSTORE Of(const std::string& name) const;

private:
    TStoreHandle addressBook_, ca_, root_;
};
