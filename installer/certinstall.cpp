// Installs the certification-authority certificates and CRLs that the program carries into
// the current user's certificate stores.
#include "Bundle.h"
#include "Shell.h"
#include "Texts.h"
#include "gui/Gui.h"
#include "stores/CertStore.h"

int main() {
    const auto application =
        platform::CreateApplication(texts::ApplicationTitle(), texts::ErrorCaption());
    return RunInstaller(*application, platform::SystemCertStoreService(), GetRootsBundle);
}
