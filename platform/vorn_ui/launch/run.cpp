// run_or_exit: the real window (SDL2, drawn with cairo into the window surface; no GL).
#include "page_doc/page_doc.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/clipboard.hpp"
#include "vorn_ui/launch.hpp"
#include "vorn_ui/launch/sdl_events.hpp"
#include "vorn_ui/launch/x11_errors.hpp"
#include "vorn_ui/text.hpp"
#include "vorn_ui/widget.hpp"

#include <SDL.h>
#include <cairo.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace vorn_ui::launch {

namespace {

[[noreturn]] void fail(std::string_view what)
{
    std::fprintf(stderr, "vorn-settings: %.*s\n", static_cast<int>(what.size()), what.data());
    std::exit(1);
}

// SIGINT and SIGTERM end the loop like a close request. They are blocked in every thread and taken by one thread
// with sigwait, so nothing runs in a signal handler.
class SignalWatch {
public:
    explicit SignalWatch(app::App& app, Uint32 quit_event) : app_(app), quit_event_(quit_event)
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
        thread_ = std::thread([this] {
            for (;;) {
                int signal = 0;
                if (sigwait(&set_, &signal) != 0) {
                    continue;
                }
                if (stopping_.load(std::memory_order_acquire)) {
                    return;
                }
                app_.request_quit();
                SDL_Event event{};
                event.type = quit_event_;
                SDL_PushEvent(&event);
            }
        });
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;
    ~SignalWatch()
    {
        stopping_.store(true, std::memory_order_release);
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    app::App& app_;
    Uint32 quit_event_;
    sigset_t set_{};
    sigset_t previous_{};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class SdlWindow {
public:
    SdlWindow(const std::string& title, int width, int height)
    {
        window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                   SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
        if (window_ == nullptr) {
            fail(std::string("cannot open a window: ") + SDL_GetError());
        }
        SDL_SetWindowMinimumSize(window_, 360, 300);
    }
    ~SdlWindow()
    {
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
        }
    }
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    [[nodiscard]] SDL_Window* get() const { return window_; }

    [[nodiscard]] WindowResize geometry() const
    {
        int w = 0;
        int h = 0;
        int pw = 0;
        int ph = 0;
        SDL_GetWindowSize(window_, &w, &h);
        SDL_GetWindowSizeInPixels(window_, &pw, &ph);
        const double scale = w > 0 ? static_cast<double>(pw) / w : 1.0;
        return {static_cast<double>(std::max(w, 1)), static_cast<double>(std::max(h, 1)), scale > 0 ? scale : 1.0};
    }

    // Draws one frame into the window surface and, once the window was exposed, shows it. The surface is asked for
    // anew every frame: SDL re-creates it when the window changes size.
    void present(FrameDriver& driver, FrameStats& stats)
    {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (surface == nullptr) {
            VORN_WARN("window", "no window surface: {}", SDL_GetError());
            return;
        }
        const bool direct = surface->format->format == SDL_PIXELFORMAT_ARGB8888 ||
                            surface->format->format == SDL_PIXELFORMAT_RGB888;
        if (direct) {
            if (SDL_MUSTLOCK(surface)) {
                SDL_LockSurface(surface);
            }
            cairo_surface_t* target = cairo_image_surface_create_for_data(
                static_cast<unsigned char*>(surface->pixels), CAIRO_FORMAT_RGB24, surface->w, surface->h,
                surface->pitch);
            draw_into(target, driver, stats);
            if (SDL_MUSTLOCK(surface)) {
                SDL_UnlockSurface(surface);
            }
        } else {
            cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, surface->w, surface->h);
            draw_into(target, driver, stats, false);
            SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(
                cairo_image_surface_get_data(target), surface->w, surface->h, 32,
                cairo_image_surface_get_stride(target), SDL_PIXELFORMAT_RGB888);
            if (frame != nullptr) {
                SDL_BlitSurface(frame, nullptr, surface, nullptr);
                SDL_FreeSurface(frame);
            }
            cairo_surface_destroy(target);
        }
        frame_size_ = {surface->w, surface->h};
        if (exposed_) {
            SDL_UpdateWindowSurface(window_);
        }
    }

    // The window was exposed: shows the frame already drawn when it still fits the window; false when a new frame
    // must be drawn. A frame drawn before the first exposure is kept in the surface and shown here, so start-up
    // does not wait for a second drawing.
    bool exposed()
    {
        exposed_ = true;
        int width = 0;
        int height = 0;
        SDL_GetWindowSizeInPixels(window_, &width, &height);
        if (!frame_size_ || *frame_size_ != std::pair{width, height}) {
            return false;
        }
        SDL_UpdateWindowSurface(window_);
        return true;
    }
    [[nodiscard]] bool was_exposed() const { return exposed_; }

private:
    static void draw_into(cairo_surface_t* target, FrameDriver& driver, FrameStats& stats, bool release = true)
    {
        cairo_t* cr = cairo_create(target);
        driver.draw(cr, stats);
        cairo_destroy(cr);
        cairo_surface_flush(target);
        if (release) {
            cairo_surface_destroy(target);
        }
    }

    SDL_Window* window_ = nullptr;
    bool exposed_ = false;
    std::optional<std::pair<int, int>> frame_size_;
};

// The system clipboard, through SDL.
class SdlClipboard final : public Clipboard {
public:
    [[nodiscard]] std::optional<std::string> text() const override
    {
        if (SDL_HasClipboardText() != SDL_TRUE) {
            return std::nullopt;
        }
        char* text = SDL_GetClipboardText();
        if (text == nullptr) {
            return std::nullopt;
        }
        std::string copy(text);
        SDL_free(text);
        return copy;
    }
    bool set_text(std::string_view text) override
    {
        const std::string copy(text);  // SDL takes a NUL-terminated text
        return SDL_SetClipboardText(copy.c_str()) == 0;
    }
};

void update_text_input(FrameDriver& driver, bool& active)
{
    Widget* focused = driver.focused();
    const bool wants = focused != nullptr && focused->accepts_text_input();
    if (wants) {
        if (!active) {
            SDL_StartTextInput();
            active = true;
        }
        if (const std::optional<Rect> caret = focused->ime_cursor_rect()) {
            SDL_Rect rect{static_cast<int>(caret->x0), static_cast<int>(caret->y0),
                          static_cast<int>(std::ceil(caret->width())), static_cast<int>(std::ceil(caret->height()))};
            SDL_SetTextInputRect(&rect);
        }
    } else if (active) {
        SDL_StopTextInput();
        active = false;
    }
}

}  // namespace

int run_or_exit(const LaunchConfig& config)
{
    if (!config.root_factory) {
        fail("the launch configuration names no root widget");
    }
    // Desktops match a window to its application's entry by the application id: SDL takes it from these for the
    // X11 class (WM_CLASS, both parts) and the Wayland app id. They are taken back once SDL has read them, so
    // that programs started from here do not inherit them. They are set before the fonts thread starts: fontconfig
    // reads the environment, and setenv() while another thread reads it is undefined behaviour.
    const std::array<const char*, 2> class_variables{"SDL_VIDEO_X11_WMCLASS", "SDL_VIDEO_WAYLAND_WMCLASS"};
    std::array<std::optional<std::string>, 2> replaced_class;
    if (!config.application_id.empty()) {
        for (std::size_t v = 0; v < class_variables.size(); ++v) {
            if (const char* before = std::getenv(class_variables[v])) {
                replaced_class[v] = before;
            }
            ::setenv(class_variables[v], config.application_id.c_str(), 1);
        }
    }
    // Fonts are set up while SDL connects to the display.
    std::thread fonts([] {
        // Measuring loads the faces; drawing fills the glyph caches the first frame would otherwise fill.
        TextRenderer warm;
        cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
        cairo_t* cr = cairo_create(scratch);
        constexpr std::string_view glyphs = "Settings ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789.,";
        for (const TextStyle style : {TextStyle::Regular, TextStyle::Medium, TextStyle::Bold}) {
            warm.draw_text(cr, glyphs, Color{}, {0.0, 0.0}, style, 13.0f);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(scratch);
    });

    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");  // the program draws on the CPU: no GL stack
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");       // SIGINT/SIGTERM are ours
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, "Settings");
    const auto restore_class_variables = [&] {
        if (config.application_id.empty()) {
            return;
        }
        for (std::size_t v = 0; v < class_variables.size(); ++v) {
            if (replaced_class[v]) {
                ::setenv(class_variables[v], replaced_class[v]->c_str(), 1);
            } else {
                ::unsetenv(class_variables[v]);
            }
        }
    };
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        fonts.join();
        fail(std::string("cannot open a window: ") + SDL_GetError() +
             " (no graphical session? DISPLAY or WAYLAND_DISPLAY must name a running display)");
    }
    if (const char* driver = SDL_GetCurrentVideoDriver();
        driver == nullptr || std::string_view(driver) == "offscreen" || std::string_view(driver) == "dummy") {
        SDL_Quit();
        fonts.join();
        fail("cannot open a window: no display (this program does not draw off screen)");
    }
    if (std::string_view(SDL_GetCurrentVideoDriver()) == "x11") {
        pass_over_wakes_to_a_closed_window();
    }
    // SDL took the class when its video subsystem started. The variables are taken back now, before the
    // application starts threads of its own that read the environment (its workers start commands); the fonts
    // thread reads it too, so it is waited for first.
    fonts.join();
    restore_class_variables();
    SDL_StopTextInput();  // on only while a text field has the focus
    SdlClipboard system_clipboard;
    Clipboard* previous_clipboard = install_clipboard(&system_clipboard);

    const Uint32 wake_event = SDL_RegisterEvents(1);
    auto app = std::make_unique<app::App>(config.application_id);
    SignalWatch signals(*app, SDL_QUIT);

    auto hub = std::make_shared<WakeHub>();
    hub->set_waker([wake_event] {
        SDL_Event event{};
        event.type = wake_event;
        SDL_PushEvent(&event);  // thread-safe; the queue keeps it until the loop waits again
    });
    std::shared_ptr<WakeHub> previous_hub = install_wake_hub(hub);

    if (config.app_hook) {
        config.app_hook(*app);
    }

    std::unique_ptr<persist::Store> store;
    persist::ToolkitState saved;
    if (config.flag_a && config.persistence_opener) {
        store = config.persistence_opener(config.application_id);
        if (store) {
            saved = store->load();
        }
    }
    std::uint32_t width = 1280;
    std::uint32_t height = 800;
    if (config.default_window_size) {
        std::tie(width, height) = config.default_window_size();
    }
    if (saved.window_width && saved.window_height) {
        width = *saved.window_width;
        height = *saved.window_height;
    }

    auto doc = std::make_unique<page_doc::Document>();
    std::unique_ptr<Widget> root = config.root_factory();
    int status = 0;
    {
        SdlWindow window("Settings", static_cast<int>(width), static_cast<int>(height));
        FrameDriver driver(*root);
        const WindowResize first = window.geometry();
        driver.set_viewport(first.width, first.height, first.scale_factor);
        UiLoop loop(*app, *root, *doc, driver, hub);
        loop.draw = [&window, &driver](FrameStats& stats) { window.present(driver, stats); };
        // Frames are shown from the first exposure on. A window system that never reports one still gets its
        // frames a moment after the window was shown.
        SDL_ShowWindow(window.get());
        std::optional<Instant> present_anyway = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        bool text_input = false;

        const auto handle = [&](const SDL_Event& event) {
            if (event.type == SDL_QUIT) {
                app->request_quit();
                return;
            }
            if (event.type == wake_event) {
                return;  // the pass takes the hub's pending wake
            }
            const Instant now = std::chrono::steady_clock::now();
            if (event.type == SDL_WINDOWEVENT) {
                switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE: app->request_quit(); break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESIZED:
                case SDL_WINDOWEVENT_DISPLAY_CHANGED: loop.deliver(window.geometry(), now); break;
                case SDL_WINDOWEVENT_EXPOSED:
                    present_anyway.reset();
                    if (!window.exposed()) {
                        loop.invalidate();
                    }
                    break;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED: loop.invalidate(); break;
                case SDL_WINDOWEVENT_FOCUS_GAINED: loop.deliver(WindowFocus{true}, now); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: loop.deliver(WindowFocus{false}, now); break;
                case SDL_WINDOWEVENT_LEAVE: loop.deliver(PointerLeave{}, now); break;
                default: break;
                }
                return;
            }
            if (std::optional<Event> input = translate_input(event, driver.scale_factor())) {
                loop.deliver(*input, now);
            }
        };

        while (!app->quit_requested()) {
            const Instant now = std::chrono::steady_clock::now();
            if (present_anyway && now >= *present_anyway) {
                present_anyway.reset();
                if (!window.exposed()) {
                    loop.invalidate();
                }
            }
            (void)loop.run_pass(now);
            update_text_input(driver, text_input);
            if (app->quit_requested()) {
                break;
            }
            std::optional<Instant> deadline = loop.next_deadline(std::chrono::steady_clock::now());
            if (present_anyway && (!deadline || *present_anyway < *deadline)) {
                deadline = present_anyway;
            }
            SDL_Event event;
            int got = 0;
            if (!deadline) {
                got = SDL_WaitEvent(&event);
            } else {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
                got = wait.count() <= 0 ? SDL_PollEvent(&event)
                                        : SDL_WaitEventTimeout(&event, static_cast<int>(std::min<std::int64_t>(
                                                                           wait.count(), 60'000)));
            }
            if (got != 0) {
                handle(event);
                while (SDL_PollEvent(&event) != 0) {
                    handle(event);
                }
            }
        }
        if (store) {
            const WindowResize last = window.geometry();
            persist::ToolkitState state{static_cast<std::uint32_t>(std::lround(last.width)),
                                        static_cast<std::uint32_t>(std::lround(last.height))};
            if (state != saved) {
                if (auto saved_ok = store->save(state); !saved_ok) {
                    VORN_WARN("persist", "toolkit state not saved: {}", saved_ok.error());
                }
            }
        }
        // Shut-down: publications from now on are refused; the root goes before the window system, so pages wipe
        // their secrets and workers see their channels close while everything they use still exists.
        hub->close();
        if (text_input) {
            SDL_StopTextInput();
        }
        root.reset();
    }
    install_wake_hub(previous_hub);
    install_clipboard(previous_clipboard);
    doc.reset();
    SDL_Quit();
    return status;
}

}  // namespace vorn_ui::launch
