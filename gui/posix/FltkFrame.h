#pragma once

class Fl_Window;

namespace platform {

// What the window manager shows of the program: every window carries the class name
// "certinstall" and the program's icon, so that a task bar shows them. Set once, before the
// first window is shown.
void SetProgramLook();

// Shows the window in a frame that offers moving and closing only: no minimise, maximise or
// resize.
void ShowOfferingCloseOnly(Fl_Window& window);

} // namespace platform
