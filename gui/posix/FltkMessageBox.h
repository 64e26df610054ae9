#pragma once

#include <string>

namespace platform {

enum class TBoxIcon { NoIcon, Error };

// A modal box centred on the screen with the icon, the text and one "OK" button, which
// Return presses. Texts in UTF-8, the text as a toolkit label. The box is wide enough for
// its caption in a window manager's title bar; the text wraps at a reading width.
void ShowMessageBox(const std::string& caption, TBoxIcon icon, const std::string& text);

} // namespace platform
