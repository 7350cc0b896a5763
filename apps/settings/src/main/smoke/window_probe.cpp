// window_probe: starts a program on the X display named by DISPLAY, waits for its window "Settings", checks that
// it shows content (not one flat colour), resizes it, asks it to close through WM_DELETE_WINDOW and reports the
// program's exit status. Used by the smoke test and by scripts/bench-window.
//
//   window_probe [--size WxH] [--screenshot FILE.ppm] [--terminate] [--search QUERY] [--class ID] -- PROGRAM [ARGS...]
//
// With --class the window's WM_CLASS must be ID in both of its parts (instance and class), so that desktops match
// the window to the application's entry.
//
// With --terminate the program is asked to end with SIGTERM instead of a close request. With --search the probe
// clicks into the sidebar's search field, types QUERY through xdotool (real key events of the X server) and waits
// until the sidebar below the first results is empty: a query that matches one or two sections leaves the rest of
// the sidebar one flat colour, where before it listed every section.
//
// Prints "first-content-ms=<ms since exec> rss-kb=<resident KiB at first content> exit=<status>". Exits 0 only
// when every check passed and the program exited 0.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "window_probe: %s\n", message.c_str());
    std::exit(2);
}

std::optional<Window> find_named(Display* display, Window window, const char* name, int depth)
{
    char* window_name = nullptr;
    if (XFetchName(display, window, &window_name) != 0 && window_name != nullptr) {
        const bool match = std::strcmp(window_name, name) == 0;
        XFree(window_name);
        if (match) {
            return window;
        }
    }
    if (depth == 0) {
        return std::nullopt;
    }
    Window root_return = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root_return, &parent, &children, &count) == 0) {
        return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        found = find_named(display, children[i], name, depth - 1);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

int ignore_errors(Display* /*display*/, XErrorEvent* /*error*/) { return 0; }

// The number of distinct colours of the window's picture (sampled; with `corner`, only its top-left corner, where
// every page has its title: small reads keep the probe from slowing the X server it measures), 0 when it cannot be
// read.
std::size_t distinct_colours(Display* display, Window window, const char* screenshot = nullptr, bool corner = false)
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.map_state != IsViewable) {
        return 0;
    }
    const int width = corner ? std::min(attributes.width, 480) : attributes.width;
    const int height = corner ? std::min(attributes.height, 160) : attributes.height;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 0;
    }
    std::set<unsigned long> colours;
    for (int y = 0; y < image->height; y += 3) {
        for (int x = 0; x < image->width; x += 3) {
            colours.insert(XGetPixel(image, x, y));
        }
    }
    if (screenshot != nullptr) {
        std::ofstream out(screenshot, std::ios::binary);
        out << "P6\n" << image->width << " " << image->height << "\n255\n";
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                const char rgb[3] = {static_cast<char>((p >> 16) & 0xff), static_cast<char>((p >> 8) & 0xff),
                                     static_cast<char>(p & 0xff)};
                out.write(rgb, 3);
            }
        }
    }
    XDestroyImage(image);
    return colours.size();
}

// The number of distinct colours of a rectangle of the window (every pixel), 0 when it cannot be read.
std::size_t region_colours(Display* display, Window window, int x, int y, int width, int height)
{
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 0;
    }
    std::set<unsigned long> colours;
    for (int row = 0; row < image->height; ++row) {
        for (int column = 0; column < image->width; ++column) {
            colours.insert(XGetPixel(image, column, row));
        }
    }
    XDestroyImage(image);
    return colours.size();
}

// Types a query into the search field at the top of the sidebar and waits for the sidebar to show only the few
// results. Returns an error text, or nothing when the sidebar filtered.
std::optional<std::string> search_and_check(Display* display, Window window, const std::string& query)
{
    // The lower part of the sidebar: every section's row before the search, nothing once a narrow query applies.
    constexpr int x = 8;
    constexpr int y = 320;
    constexpr int width = 240;
    constexpr int height = 440;
    const std::size_t before = region_colours(display, window, x, y, width, height);
    if (before < 3) {
        return "the sidebar lists no sections before the search (" + std::to_string(before) + " colours)";
    }
    const std::string command = "xdotool mousemove --window " + std::to_string(window) +
                                " 132 36 click 1 sleep 0.2 type --delay 40 '" + query + "'";
    if (std::system(command.c_str()) != 0) {
        return "xdotool failed: " + command;
    }
    const auto start = Clock::now();
    std::size_t after = before;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        after = region_colours(display, window, x, y, width, height);
        if (after == 1) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "the sidebar did not filter after typing \"" + query + "\" (" + std::to_string(after) +
           " colours left, " + std::to_string(before) + " before)";
}

long rss_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

std::optional<int> exit_status(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    int want_w = 1280;
    int want_h = 800;
    const char* screenshot = nullptr;
    bool terminate = false;
    const char* search = nullptr;
    const char* wm_class = nullptr;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &want_w, &want_h) != 2) {
                die("--size takes WxH");
            }
        } else if (std::strcmp(argv[i], "--terminate") == 0) {
            terminate = true;
        } else if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc) {
            wm_class = argv[++i];
        } else if (std::strcmp(argv[i], "--search") == 0 && i + 1 < argc) {
            search = argv[++i];
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = argv[++i];
        } else {
            die(std::string("unknown argument ") + argv[i]);
        }
    }
    if (i + 1 >= argc) {
        die("usage: window_probe [--size WxH] [--screenshot FILE.ppm] [--terminate] [--search QUERY] [--class ID] -- "
            "PROGRAM [ARGS...]");
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        die("cannot open the display");
    }
    XSetErrorHandler(ignore_errors);

    const auto started = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[i + 1], argv + i + 1);
        std::perror("exec");
        _exit(127);
    }
    const auto fail = [&](const std::string& message) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        die(message);
    };

    // The window, with content.
    std::optional<Window> window;
    double first_content_ms = -1;
    long rss = -1;
    while (Clock::now() - started < std::chrono::seconds(20)) {
        if (!window) {
            window = find_named(display, DefaultRootWindow(display), "Settings", 3);
        }
        if (window && distinct_colours(display, *window, nullptr, true) >= 2) {
            first_content_ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            rss = rss_kib(child);
            break;
        }
        if (const auto early = exit_status(child, std::chrono::milliseconds(0))) {
            die("the program exited before showing a window, status " + std::to_string(*early));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (first_content_ms < 0 || distinct_colours(display, *window) < 2) {
        fail(window ? "the window stayed blank" : "no window named Settings appeared");
    }
    if (wm_class != nullptr) {
        XClassHint hint{};
        if (XGetClassHint(display, *window, &hint) == 0) {
            fail("the window has no WM_CLASS");
        }
        const std::string instance = hint.res_name != nullptr ? hint.res_name : "";
        const std::string klass = hint.res_class != nullptr ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
        if (instance != wm_class || klass != wm_class) {
            fail("WM_CLASS is \"" + instance + "\", \"" + klass + "\", not \"" + wm_class + "\"");
        }
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, *window, &attributes);
    if (attributes.width != want_w || attributes.height != want_h) {
        fail("the window is " + std::to_string(attributes.width) + "x" + std::to_string(attributes.height) +
             ", expected " + std::to_string(want_w) + "x" + std::to_string(want_h));
    }
    if (screenshot != nullptr) {
        (void)distinct_colours(display, *window, screenshot);
    }

    // Typing into the search field filters the sidebar.
    if (search != nullptr) {
        if (const auto error = search_and_check(display, *window, search)) {
            fail(*error);
        }
    }

    // A resize is drawn again, at the new size.
    XResizeWindow(display, *window, 900, 600);
    XSync(display, False);
    bool redrawn = false;
    const auto resize_start = Clock::now();
    while (Clock::now() - resize_start < std::chrono::seconds(10)) {
        XGetWindowAttributes(display, *window, &attributes);
        if (attributes.width == 900 && attributes.height == 600 && distinct_colours(display, *window) >= 2) {
            redrawn = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!redrawn) {
        fail("the window was not drawn again after a resize");
    }

    // A close request (or SIGTERM) ends the program cleanly.
    if (terminate) {
        kill(child, SIGTERM);
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = *window;
    close.xclient.message_type = protocols;
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(delete_window);
    close.xclient.data.l[1] = CurrentTime;
    if (!terminate) {
        XSendEvent(display, *window, False, NoEventMask, &close);
        XSync(display, False);
    }
    const std::optional<int> status = exit_status(child, std::chrono::seconds(10));
    if (!status) {
        fail("the program did not exit after a close request");
    }
    std::printf("first-content-ms=%.1f rss-kb=%ld%s exit=%d\n", first_content_ms, rss,
                search != nullptr ? " search-filtered=1" : "", *status);
    XCloseDisplay(display);
    return *status == 0 ? 0 : 1;
}
