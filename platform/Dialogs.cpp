#include "Dialogs.h"

namespace platform {
namespace {
IDialogs* installed = nullptr;
}

void InstallDialogs(IDialogs* dialogs) {
    installed = dialogs;
}
IDialogs* InstalledDialogs() {
    return installed;
}

} // namespace platform
