#pragma once
// The window loop's handling of X protocol errors on an X11 session.

namespace vorn_ui::launch {

// SDL wakes its event wait from other threads by sending an X event to the window over a second connection. A wake
// sent while the window closes can reach the X server after the window is gone, and Xlib's default handler would
// then end the whole program with status 1 when SDL closes that connection. From this call on, that one error (a
// BadWindow answer to SendEvent) is logged and passed over; every other X error goes to the handler installed before.
// Call it after SDL has opened its video subsystem on X11.
void pass_over_wakes_to_a_closed_window();

}  // namespace vorn_ui::launch
