#pragma once

class Fl_Window;

namespace platform {

// What the window manager shows of the program: every window carries the class name
// "certinstall" and the program's icon, so that a task bar shows them. Set once, with the
// display open, before the first window is shown.
void SetProgramLook();

// The frame offers moving and closing only: no minimise, maximise or resize. Called right
// after the window is shown, before the toolkit next talks to the X server, so that the
// window manager finds it when it takes the window on.
void OfferCloseOnly(const Fl_Window& window);

} // namespace platform
