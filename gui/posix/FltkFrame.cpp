#include "gui/posix/FltkFrame.h"

#include "certinstall_icon.h"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace platform {

void SetProgramLook() {
    Fl_Window::default_xclass("certinstall");
    using namespace certinstall_icon;
    const Fl_RGB_Image icons[] = {
        {kPixels16, 16, 16, 4}, {kPixels32, 32, 32, 4}, {kPixels48, 48, 48, 4}};
    const Fl_RGB_Image* list[] = {&icons[0], &icons[1], &icons[2]};
    Fl_Window::default_icons(list, 3); // the toolkit keeps copies
}

void ShowOfferingCloseOnly(Fl_Window& window) {
    // The toolkit maps the window as it makes it. With the server held until the hints are
    // set, the window manager, which takes the window on at the map, finds them there.
    XGrabServer(fl_display);
    window.show();
    // The Motif window manager hints, which most window managers read: the functions field
    // alone, naming what the frame offers.
    constexpr long kFunctionsField = 1, kMove = 4, kClose = 32;
    const long hints[5] = {kFunctionsField, kMove | kClose, 0, 0, 0};
    const Atom property = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(fl_display, fl_xid(&window), property, property, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
    XUngrabServer(fl_display);
    XFlush(fl_display);
}

} // namespace platform
