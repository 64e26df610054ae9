#pragma once

#include "stores/CertStore.h"

#include <exception>
#include <functional>

class TUnZip;

// Takes each object of the bundle out of every store, whichever it belongs in, then commits
// the stores. A failure is reported and the removal goes on with the rest. True when nothing
// failed.
bool RemoveBundle(platform::ICertStoreService& service, const TUnZip& bundle,
                  const std::function<void(const std::exception&)>& failed);
