#include "display_service/randr.hpp"

#include "config_sections/edid.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <span>
#include <vector>

// The X headers define macros such as Status, None and Bool: they come last.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace display_service {
namespace {

namespace hw = config_sections::hardware;
using hw::OutputConfig;
using hw::OutputDescriptor;
using hw::OutputMode;

// X reports errors asynchronously through one handler per process; the service talks to one display from one
// thread, so the last error code is kept per thread and read after XSync.
thread_local int last_x_error = 0;

int record_x_error(Display* /*display*/, XErrorEvent* event)
{
    last_x_error = event->error_code;
    return 0;
}

std::string x_error_text(Display* display, int code)
{
    std::array<char, 160> text{};
    XGetErrorText(display, code, text.data(), static_cast<int>(text.size()));
    return text.data();
}

struct ResourcesDeleter {
    void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct OutputInfoDeleter {
    void operator()(XRROutputInfo* o) const { XRRFreeOutputInfo(o); }
};
struct CrtcInfoDeleter {
    void operator()(XRRCrtcInfo* c) const { XRRFreeCrtcInfo(c); }
};
using Resources = std::unique_ptr<XRRScreenResources, ResourcesDeleter>;
using OutputInfo = std::unique_ptr<XRROutputInfo, OutputInfoDeleter>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, CrtcInfoDeleter>;

bool is_built_in(std::string_view connector)
{
    return connector.starts_with("eDP") || connector.starts_with("LVDS") || connector.starts_with("DSI");
}

std::uint32_t refresh_mhz(const XRRModeInfo& mode)
{
    double lines = mode.vTotal;
    if ((mode.modeFlags & RR_DoubleScan) != 0) {
        lines *= 2;
    }
    if ((mode.modeFlags & RR_Interlace) != 0) {
        lines /= 2;
    }
    if (mode.hTotal == 0 || lines == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::lround(static_cast<double>(mode.dotClock) * 1000.0 / (mode.hTotal * lines)));
}

std::uint16_t rotation_bit(std::uint8_t transform) { return static_cast<std::uint16_t>(RR_Rotate_0 << transform); }

std::uint8_t transform_of(Rotation rotation)
{
    for (std::uint8_t i = 0; i < 4; ++i) {
        if ((rotation & rotation_bit(i)) != 0) {
            return i;
        }
    }
    return 0;
}

// One output as RandR shows it.
struct LiveOutput {
    RROutput id = 0;
    std::string connector;
    OutputInfo info;
    std::vector<std::pair<RRMode, OutputMode>> modes;  // progressive modes, preferred first
    std::optional<std::pair<RRMode, OutputMode>> preferred;
    RRCrtc crtc = 0;
    CrtcInfo crtc_info;  // when it has a CRTC
};

// The live state of the screen.
struct Live {
    Resources resources;
    std::vector<LiveOutput> outputs;  // the listed ones, in RandR's order
    RROutput primary = 0;

    [[nodiscard]] const XRRModeInfo* mode_info(RRMode id) const
    {
        for (int i = 0; i < resources->nmode; ++i) {
            if (resources->modes[i].id == id) {
                return &resources->modes[i];
            }
        }
        return nullptr;
    }
    [[nodiscard]] LiveOutput* find(std::string_view connector)
    {
        const auto it = std::ranges::find(outputs, connector, &LiveOutput::connector);
        return it == outputs.end() ? nullptr : &*it;
    }
};

// The CRTC settings one output asks for.
struct CrtcPlan {
    RRCrtc crtc = 0;
    RRMode mode = 0;
    int x = 0;
    int y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
};

DisplayConfig layout_of(const Live& live)
{
    DisplayConfig config;
    struct Rect {
        int x, y;
        unsigned w, h;
        bool operator==(const Rect&) const = default;
    };
    std::map<std::string, Rect> rects;
    for (const auto& output : live.outputs) {
        OutputConfig entry;
        entry.enabled = output.crtc_info && output.crtc_info->mode != 0;
        if (entry.enabled) {
            const XRRCrtcInfo& crtc = *output.crtc_info;
            entry.x = crtc.x;
            entry.y = crtc.y;
            entry.transform = transform_of(crtc.rotation);
            if (const XRRModeInfo* info = live.mode_info(crtc.mode)) {
                entry.mode = OutputMode{info->width, info->height, refresh_mhz(*info)};
            }
            entry.primary = output.id == live.primary;
            rects[output.connector] = {crtc.x, crtc.y, crtc.width, crtc.height};
        }
        config.outputs[output.connector] = entry;
    }
    // Without a primary output X treats the first one as primary.
    if (std::ranges::none_of(config.outputs, [](const auto& item) { return item.second.primary; })) {
        for (auto& [connector, entry] : config.outputs) {
            if (entry.enabled) {
                entry.primary = true;
                break;
            }
        }
    }
    // Outputs showing the same part of the screen mirror one of them: the primary one, else the first.
    for (const auto& [connector, rect] : rects) {
        if (config.outputs[connector].mirror) {
            continue;
        }
        std::vector<std::string> same;
        for (const auto& [other, other_rect] : rects) {
            if (other_rect == rect) {
                same.push_back(other);
            }
        }
        if (same.size() < 2) {
            continue;
        }
        std::string target = same.front();
        for (const auto& candidate : same) {
            if (config.outputs[candidate].primary) {
                target = candidate;
            }
        }
        for (const auto& other : same) {
            if (other != target) {
                config.outputs[other].mirror = target;
            }
        }
    }
    return config;
}

}  // namespace

struct RandrScreen::Connection {
    Display* display = nullptr;
    Window root = 0;
    XErrorHandler previous_handler = nullptr;

    ~Connection()
    {
        if (display != nullptr) {
            XSetErrorHandler(previous_handler);
            XCloseDisplay(display);
        }
    }

    // Flushes the requests and answers the first error X reported for them.
    std::expected<void, std::string> sync(std::string_view what)
    {
        XSync(display, False);
        if (last_x_error != 0) {
            const int code = last_x_error;
            last_x_error = 0;
            return std::unexpected(fmt::format("the X server refused to {} ({})", what, x_error_text(display, code)));
        }
        return {};
    }

    std::expected<Live, std::string> read()
    {
        last_x_error = 0;
        Live live;
        live.resources.reset(XRRGetScreenResourcesCurrent(display, root));
        if (!live.resources) {
            return std::unexpected(std::string("the X server did not describe its outputs"));
        }
        live.primary = XRRGetOutputPrimary(display, root);
        for (int i = 0; i < live.resources->noutput; ++i) {
            LiveOutput output;
            output.id = live.resources->outputs[i];
            output.info.reset(XRRGetOutputInfo(display, live.resources.get(), output.id));
            if (!output.info) {
                continue;
            }
            output.connector.assign(output.info->name, static_cast<std::size_t>(output.info->nameLen));
            output.crtc = output.info->crtc;
            if (output.crtc != 0) {
                output.crtc_info.reset(XRRGetCrtcInfo(display, live.resources.get(), output.crtc));
            }
            for (int m = 0; m < output.info->nmode; ++m) {
                const XRRModeInfo* info = live.mode_info(output.info->modes[m]);
                if (info == nullptr || (info->modeFlags & RR_Interlace) != 0) {
                    continue;
                }
                const OutputMode mode{info->width, info->height, refresh_mhz(*info)};
                if (m < output.info->npreferred && !output.preferred) {
                    output.preferred = std::pair(info->id, mode);
                }
                if (std::ranges::none_of(output.modes, [&](const auto& known) { return known.second == mode; })) {
                    output.modes.emplace_back(info->id, mode);
                }
            }
            // Preferred first, then larger before smaller and faster before slower.
            std::ranges::stable_sort(output.modes, [&](const auto& l, const auto& r) {
                const bool lp = output.preferred && l.second == output.preferred->second;
                const bool rp = output.preferred && r.second == output.preferred->second;
                if (lp != rp) {
                    return lp;
                }
                const auto area = [](const OutputMode& m) { return std::uint64_t{m.width} * m.height; };
                return std::tuple(area(l.second), l.second.width, l.second.refresh_mhz) >
                       std::tuple(area(r.second), r.second.width, r.second.refresh_mhz);
            });
            const bool running = output.crtc_info && output.crtc_info->mode != 0;
            if (output.info->connection == RR_Connected || running || !output.modes.empty()) {
                live.outputs.push_back(std::move(output));
            }
        }
        return live;
    }

    std::optional<std::string> edid_name(RROutput output)
    {
        const Atom edid = XInternAtom(display, "EDID", True);
        if (edid == 0) {
            return std::nullopt;
        }
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XRRGetOutputProperty(display, output, edid, 0, 256, False, False, AnyPropertyType, &type, &format, &items,
                                 &after, &data) != Success) {
            return std::nullopt;
        }
        std::optional<std::string> name;
        if (data != nullptr && format == 8 && items > 0) {
            if (auto parsed = hw::parse_edid(std::span<const std::uint8_t>(data, items)); parsed) {
                name = parsed->monitor_name;
            }
        }
        if (data != nullptr) {
            XFree(data);
        }
        return name;
    }
};

RandrScreen::RandrScreen(std::unique_ptr<Connection> connection) : x_(std::move(connection)) {}
RandrScreen::~RandrScreen() = default;

std::expected<std::unique_ptr<RandrScreen>, std::string> RandrScreen::open(const std::optional<std::string>& name)
{
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(name ? name->c_str() : nullptr);
    if (connection->display == nullptr) {
        const char* env = std::getenv("DISPLAY");
        return std::unexpected(fmt::format("cannot open the X display {}", name.value_or(env != nullptr ? env : "")));
    }
    connection->previous_handler = XSetErrorHandler(record_x_error);
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(connection->display, &event_base, &error_base) ||
        !XRRQueryVersion(connection->display, &major, &minor) || major < 1 || (major == 1 && minor < 3)) {
        return std::unexpected(std::string("the X server has no RandR 1.3"));
    }
    connection->root = DefaultRootWindow(connection->display);
    return std::unique_ptr<RandrScreen>(new RandrScreen(std::move(connection)));
}

std::expected<DisplayHardwareSnapshot, std::string> RandrScreen::snapshot()
{
    auto live = x_->read();
    if (!live) {
        return std::unexpected(live.error());
    }
    DisplayHardwareSnapshot snapshot;
    for (const auto& output : live->outputs) {
        OutputDescriptor descriptor;
        descriptor.connector = output.connector;
        descriptor.name = x_->edid_name(output.id).value_or("");
        descriptor.built_in = is_built_in(output.connector);
        descriptor.enabled = output.crtc_info && output.crtc_info->mode != 0;
        for (const auto& [id, mode] : output.modes) {
            descriptor.modes.push_back(mode);
        }
        if (descriptor.enabled) {
            if (const XRRModeInfo* info = live->mode_info(output.crtc_info->mode)) {
                descriptor.current_mode = {info->width, info->height, refresh_mhz(*info)};
            }
        } else if (!descriptor.modes.empty()) {
            descriptor.current_mode = descriptor.modes.front();
        }
        descriptor.hdr_reason = "Not available in an X11 session";
        descriptor.vrr_reason = "Not available in an X11 session";
        snapshot.outputs.push_back(std::move(descriptor));
    }
    hw::assign_qualifiers(snapshot);
    return snapshot;
}

std::expected<DisplayConfig, std::string> RandrScreen::layout()
{
    auto live = x_->read();
    if (!live) {
        return std::unexpected(live.error());
    }
    return layout_of(*live);
}

std::expected<void, std::string> RandrScreen::apply(const DisplayConfig& requested)
{
    auto read = x_->read();
    if (!read) {
        return std::unexpected(read.error());
    }
    Live& live = *read;
    Display* display = x_->display;

    // The whole layout: the entries asked for, the others as they run now.
    std::map<std::string, OutputConfig> layout = layout_of(live).outputs;
    for (const auto& [connector, entry] : requested.outputs) {
        if (live.find(connector) == nullptr) {
            if (entry.enabled) {
                return std::unexpected(fmt::format("display output {} is not connected", connector));
            }
            continue;
        }
        layout[connector] = entry;
    }

    // What each output that stays on will show.
    struct Placed {
        LiveOutput* output = nullptr;
        RRMode mode = 0;
        OutputMode size;
        Rotation rotation = RR_Rotate_0;
        long long x = 0;
        long long y = 0;
        unsigned width = 0;  // on screen, after rotation
        unsigned height = 0;
    };
    std::map<std::string, Placed> placed;
    const auto pick_mode = [](const LiveOutput& output,
                              const OutputMode& wanted) -> std::optional<std::pair<RRMode, OutputMode>> {
        for (const auto& candidate : output.modes) {
            if (candidate.second == wanted) {
                return candidate;
            }
        }
        return std::nullopt;
    };
    for (auto& [connector, entry] : layout) {
        if (!entry.enabled) {
            continue;
        }
        LiveOutput& output = *live.find(connector);
        if (std::abs(entry.scale - 1.0) > std::numeric_limits<double>::epsilon()) {
            return std::unexpected(fmt::format("{} cannot be scaled to {}% in an X11 session", connector,
                                               std::lround(entry.scale * 100)));
        }
        if (entry.hdr) {
            return std::unexpected(fmt::format("{} cannot show HDR in an X11 session", connector));
        }
        if (entry.vrr) {
            return std::unexpected(fmt::format("{} cannot use variable refresh rate in an X11 session", connector));
        }
        if (entry.color_profile) {
            return std::unexpected(fmt::format("{} cannot take a colour profile in an X11 session", connector));
        }
        Placed p;
        p.output = &output;
        std::optional<std::pair<RRMode, OutputMode>> mode;
        if (entry.mode) {
            mode = pick_mode(output, *entry.mode);
            if (!mode) {
                return std::unexpected(fmt::format("{} is not a mode of {}", entry.mode->label(), connector));
            }
        } else if (output.crtc_info && output.crtc_info->mode != 0) {
            if (const XRRModeInfo* info = live.mode_info(output.crtc_info->mode)) {
                mode = std::pair(info->id, OutputMode{info->width, info->height, refresh_mhz(*info)});
            }
        }
        if (!mode) {
            if (output.preferred) {
                mode = output.preferred;
            } else if (!output.modes.empty()) {
                mode = output.modes.front();
            } else {
                return std::unexpected(fmt::format("{} offers no mode", connector));
            }
        }
        p.mode = mode->first;
        p.size = mode->second;
        if (entry.transform > 3) {
            return std::unexpected(fmt::format("rotation {} is unknown for {}", entry.transform, connector));
        }
        p.rotation = rotation_bit(entry.transform);
        const bool can_rotate = output.crtc_info ? (output.crtc_info->rotations & p.rotation) != 0 : entry.transform == 0;
        if (!can_rotate) {
            return std::unexpected(fmt::format("{} cannot be rotated by this X server", connector));
        }
        const bool sideways = entry.transform == 1 || entry.transform == 3;
        p.width = sideways ? p.size.height : p.size.width;
        p.height = sideways ? p.size.width : p.size.height;
        p.x = entry.x;
        p.y = entry.y;
        placed[connector] = p;
    }
    if (placed.empty()) {
        return std::unexpected(std::string("at least one display must stay on"));
    }

    // Mirrors show the part of the screen their target shows, at a mode of the same size.
    for (auto& [connector, p] : placed) {
        const auto& mirror = layout[connector].mirror;
        if (!mirror) {
            continue;
        }
        const auto target = placed.find(*mirror);
        if (target == placed.end() || *mirror == connector || layout[*mirror].mirror) {
            return std::unexpected(fmt::format("{} cannot mirror {}", connector, *mirror));
        }
        if (p.width != target->second.width || p.height != target->second.height) {
            std::optional<std::pair<RRMode, OutputMode>> same_size;
            for (const auto& candidate : p.output->modes) {
                const bool fits = candidate.second.width == target->second.size.width &&
                                  candidate.second.height == target->second.size.height;
                if (fits && (!same_size || candidate.second.refresh_mhz > same_size->second.refresh_mhz)) {
                    same_size = candidate;
                }
            }
            if (!same_size || p.rotation != target->second.rotation) {
                return std::unexpected(fmt::format("{} and {} share no resolution to mirror", connector, *mirror));
            }
            p.mode = same_size->first;
            p.size = same_size->second;
            p.width = target->second.width;
            p.height = target->second.height;
        }
        p.x = target->second.x;
        p.y = target->second.y;
    }

    // The screen starts at (0, 0) and holds every output.
    long long min_x = std::numeric_limits<long long>::max();
    long long min_y = std::numeric_limits<long long>::max();
    for (const auto& [connector, p] : placed) {
        min_x = std::min(min_x, p.x);
        min_y = std::min(min_y, p.y);
    }
    long long screen_w = 0;
    long long screen_h = 0;
    for (auto& [connector, p] : placed) {
        p.x -= min_x;
        p.y -= min_y;
        screen_w = std::max(screen_w, p.x + p.width);
        screen_h = std::max(screen_h, p.y + p.height);
    }
    int min_w = 0;
    int min_h = 0;
    int max_w = 0;
    int max_h = 0;
    XRRGetScreenSizeRange(display, x_->root, &min_w, &min_h, &max_w, &max_h);
    if (screen_w > max_w || screen_h > max_h) {
        return std::unexpected(fmt::format("the layout needs {} × {} pixels; this X server allows at most {} × {}",
                                           screen_w, screen_h, max_w, max_h));
    }
    screen_w = std::max<long long>(screen_w, min_w);
    screen_h = std::max<long long>(screen_h, min_h);

    // A CRTC for every output that stays on: its own when it has one, else a free one it can use.
    std::set<RRCrtc> taken;
    std::map<std::string, CrtcPlan> plans;
    for (auto& [connector, p] : placed) {
        if (p.output->crtc != 0) {
            taken.insert(p.output->crtc);
            plans[connector].crtc = p.output->crtc;
        }
    }
    for (auto& [connector, p] : placed) {
        CrtcPlan& plan = plans[connector];
        if (plan.crtc == 0) {
            for (int c = 0; c < p.output->info->ncrtc; ++c) {
                const RRCrtc candidate = p.output->info->crtcs[c];
                if (!taken.contains(candidate)) {
                    plan.crtc = candidate;
                    taken.insert(candidate);
                    break;
                }
            }
            if (plan.crtc == 0) {
                return std::unexpected(fmt::format("no display controller is free for {}", connector));
            }
        }
        plan.mode = p.mode;
        plan.x = static_cast<int>(p.x);
        plan.y = static_cast<int>(p.y);
        plan.rotation = p.rotation;
        plan.outputs = {p.output->id};
    }

    // Like xrandr: every CRTC that changes goes off first, then the screen takes its new size and the CRTCs their
    // new settings; the server is grabbed meanwhile so that no client sees the half-way state.
    std::map<RRCrtc, const CrtcPlan*> by_crtc;
    for (const auto& [connector, plan] : plans) {
        by_crtc[plan.crtc] = &plan;
    }
    XGrabServer(display);
    const auto fail = [&](std::string reason) {
        XUngrabServer(display);
        XSync(display, False);
        return std::unexpected(std::move(reason));
    };
    for (int c = 0; c < live.resources->ncrtc; ++c) {
        const RRCrtc crtc = live.resources->crtcs[c];
        CrtcInfo info(XRRGetCrtcInfo(display, live.resources.get(), crtc));
        if (!info || info->mode == 0) {
            continue;
        }
        const auto it = by_crtc.find(crtc);
        const bool unchanged = it != by_crtc.end() && it->second->mode == info->mode && it->second->x == info->x &&
                               it->second->y == info->y && it->second->rotation == info->rotation &&
                               info->noutput == 1 && info->outputs[0] == it->second->outputs.front() &&
                               it->second->x + info->width <= screen_w && it->second->y + info->height <= screen_h;
        if (unchanged) {
            by_crtc.erase(it);
            continue;
        }
        if (XRRSetCrtcConfig(display, live.resources.get(), crtc, CurrentTime, 0, 0, 0, RR_Rotate_0, nullptr, 0) !=
            RRSetConfigSuccess) {
            return fail(fmt::format("the X server did not turn off a display controller"));
        }
    }
    const double dpi = 96.0;
    XRRSetScreenSize(display, x_->root, static_cast<int>(screen_w), static_cast<int>(screen_h),
                     static_cast<int>(std::lround(static_cast<double>(screen_w) * 25.4 / dpi)),
                     static_cast<int>(std::lround(static_cast<double>(screen_h) * 25.4 / dpi)));
    if (auto synced = x_->sync("resize the screen"); !synced) {
        return fail(synced.error());
    }
    for (const auto& [crtc, plan] : by_crtc) {
        std::vector<RROutput> outputs = plan->outputs;
        if (XRRSetCrtcConfig(display, live.resources.get(), crtc, CurrentTime, plan->x, plan->y, plan->mode,
                             plan->rotation, outputs.data(), static_cast<int>(outputs.size())) != RRSetConfigSuccess) {
            return fail(std::string("the X server did not switch a display"));
        }
    }
    for (const auto& [connector, entry] : layout) {
        if (entry.primary && entry.enabled) {
            XRRSetOutputPrimary(display, x_->root, live.find(connector)->id);
        }
    }
    XUngrabServer(display);
    return x_->sync("switch the displays");
}

}  // namespace display_service
