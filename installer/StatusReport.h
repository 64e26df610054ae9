#pragma once

#include "stores/CertStore.h"

#include <functional>
#include <string>

class TUnZip;

// Says for each object of the bundle, each store it belongs in and each place of that store
// whether it is there: a line "store<TAB>place<TAB>name<TAB>state", the state "trusted",
// "present" or "missing". True when every object is in every place, each root trusted in
// "ROOT".
bool ReportStatus(platform::ICertStoreService& service, const TUnZip& bundle,
                  const std::function<void(const std::string&)>& line);
