#pragma once

#include "OpenBundle.h"
#include "gui/Gui.h"
#include "stores/CertStore.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// What the program reaches of the system; the tests put their own in.
struct TSystem {
    std::function<platform::ICertStoreService&(platform::TStoreScope)> stores;
    std::function<bool()> administratorRights;
    std::function<std::unique_ptr<platform::IApplication>(platform::TPresentation)> application;
    TBundleSource bundle;
    std::ostream& out;
    std::ostream& err;
};

// The program as its command line asks: the installation (with its window, unless quiet), the
// status, the removal, help or the version. Returns the exit status: 0 done, or all in place;
// 1 a certificate or store failed; 2 a usage or bundle error; 3 administrator rights missing.
int RunCommandLine(const std::vector<std::string>& arguments, const TSystem& system);
