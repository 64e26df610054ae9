// Installs the certification-authority certificates and CRLs that the program carries into
// the current user's certificate stores, or, as its command line asks, the computer's; says
// where they are; takes them out again.
#include "Bundle.h"
#include "CommandLine.h"
#include "Texts.h"
#include "gui/Gui.h"
#include "stores/CertStore.h"

#include <iostream>

int main(int argc, char** argv) {
    const TSystem system{platform::SystemCertStoreService,
                         platform::HasAdministratorRights,
                         [](platform::TPresentation presentation) {
                             return platform::CreateApplication(
                                 texts::ApplicationTitle(), texts::ErrorCaption(), presentation);
                         },
                         GetRootsBundle,
                         std::cout,
                         std::cerr};
    return RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), system);
}
