#pragma once

#include "UPwd.h"
#include "gui/Gui.h"

#include <string>

// The unhandled-error box's text: the message with a full stop after a last character that
// comes after the full stop (a letter, say), as it stands otherwise.
std::u16string UnhandledErrorText(const std::u16string& message);

// Starts the program: the main window, the installation on its first activation, errors that
// leave an event shown in the unhandled-error box. Returns the exit status: 0 after a finished
// run; when the last run ended in an error, 2 for the bundle's and 1 for any other; 1 when a
// certificate of it failed; in a window as on the console.
int RunInstaller(platform::IApplication& application, platform::ICertStoreService& stores,
                 const TBundleSource& bundle);
