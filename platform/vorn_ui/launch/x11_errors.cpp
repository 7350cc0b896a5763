#include "vorn_ui/launch/x11_errors.hpp"

#include "vorn_log/log.hpp"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace vorn_ui::launch {
namespace {

XErrorHandler previous_handler = nullptr;

int on_x_error(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow && error->request_code == X_SendEvent) {
        VORN_DEBUG("x11_error", "a wake reached window {:#x} after it closed", error->resourceid);
        return 0;
    }
    return previous_handler != nullptr ? previous_handler(display, error) : 0;
}

}  // namespace

void pass_over_wakes_to_a_closed_window()
{
    const XErrorHandler before = XSetErrorHandler(on_x_error);
    if (before != on_x_error) {
        previous_handler = before;
    }
}

}  // namespace vorn_ui::launch
