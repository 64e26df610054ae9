// The installer whose first open of the store "ROOT" raises an error, after "AddressBook"
// and "CA" were opened: the run ends in the unhandled-error box, and the button's run after
// it installs everything.
#include "FaultyStores.h"
#include "gui/Gui.h"
#include "installer/Bundle.h"
#include "installer/Shell.h"
#include "installer/Texts.h"

int main() {
    const auto application =
        platform::CreateApplication(texts::ApplicationTitle(), texts::ErrorCaption());
    test::FaultyStores stores(platform::SystemCertStoreService());
    stores.throwOnOpen = "ROOT";
    return RunInstaller(*application, stores, GetRootsBundle);
}
