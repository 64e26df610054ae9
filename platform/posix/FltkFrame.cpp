#include "platform/posix/FltkFrame.h"

#include "certinstall_icon.h"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace platform {
namespace {
// Asked for beforehand: asking the server is a round trip, which would hand the window to the
// window manager before its hints are set.
Atom motifHints = None;
} // namespace

void SetProgramLook() {
    motifHints = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    Fl_Window::default_xclass("certinstall");
    using namespace certinstall_icon;
    const Fl_RGB_Image icons[] = {
        {kPixels16, 16, 16, 4}, {kPixels32, 32, 32, 4}, {kPixels48, 48, 48, 4}};
    const Fl_RGB_Image* list[] = {&icons[0], &icons[1], &icons[2]};
    Fl_Window::default_icons(list, 3); // the toolkit keeps copies
}

void OfferCloseOnly(const Fl_Window& window) {
    // The Motif window manager hints, which most window managers read: the functions field
    // alone, naming what the frame offers.
    constexpr long kFunctionsField = 1, kMove = 4, kClose = 32;
    const long hints[5] = {kFunctionsField, kMove | kClose, 0, 0, 0};
    XChangeProperty(fl_display, fl_xid(&window), motifHints, motifHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
}

} // namespace platform
