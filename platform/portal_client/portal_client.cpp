#include "portal_client/portal_client.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <curl/curl.h>
#include <fmt/format.h>
#include <systemd/sd-bus.h>

#include <cstring>
#include <random>

namespace portal_client {

namespace {

constexpr const char* portal_name = "org.freedesktop.portal.Desktop";
constexpr const char* portal_path = "/org/freedesktop/portal/desktop";
constexpr const char* request_namespace = "/org/freedesktop/portal/desktop/request";

// Frees what sd-bus handed out, also on early returns.
struct Bus {
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal

    Bus() = default;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    ~Bus()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_slot_unref(match);
        sd_bus_flush_close_unref(bus);
    }
};

std::string clean(std::string_view text)
{
    return cmd_runner::clean_text(text, {.max_chars = 256, .trim = true});
}

std::string bus_error_text(const sd_bus_error& error, int code)
{
    const std::string_view name = error.name != nullptr ? error.name : "";
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.UnknownMethod" || name == "org.freedesktop.DBus.Error.UnknownInterface") {
        return "the desktop portal is not available";
    }
    if (error.message != nullptr && *error.message != '\0') {
        return clean(error.message);
    }
    return std::strerror(-code);
}

std::expected<void, PortalError> fail(std::string text)
{
    return std::unexpected(PortalError{std::move(text)});
}

// Opens the session bus; an error sentence otherwise.
std::expected<void, std::string> open_session(Bus& bus)
{
    if (const int r = sd_bus_open_user(&bus.bus); r < 0) {
        return std::unexpected(fmt::format("the session bus cannot be reached ({})", std::strerror(-r)));
    }
    return {};
}

std::expected<void, std::string> call_open_uri(std::string_view uri)
{
    Bus bus;
    if (auto opened = open_session(bus); !opened) {
        return opened;
    }
    const std::string text(uri);
    int r = sd_bus_message_new_method_call(bus.bus, &bus.call, portal_name, portal_path,
                                           "org.freedesktop.portal.OpenURI", "OpenURI");
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "ss", "", text.c_str());
    }
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "a{sv}", 0);
    }
    if (r < 0) {
        return std::unexpected(fmt::format("the request could not be built ({})", std::strerror(-r)));
    }
    r = sd_bus_call(bus.bus, bus.call, 10'000'000, &bus.error, &bus.reply);
    if (r < 0) {
        return std::unexpected(bus_error_text(bus.error, r));
    }
    return {};
}

struct ChooserState {
    std::string token;
    std::string handle;  // the request object the portal answered with
    bool done = false;
    std::uint32_t response = 2;
    std::vector<ChosenFile> files;
    std::string error;
};

// Reads the "uris" entry of the Response's results.
int read_results(sd_bus_message* message, ChooserState& state)
{
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    if (r < 0) {
        return r;
    }
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        r = sd_bus_message_read(message, "s", &key);
        if (r < 0) {
            return r;
        }
        if (std::strcmp(key, "uris") == 0) {
            r = sd_bus_message_enter_container(message, 'v', "as");
            if (r < 0) {
                return r;
            }
            r = sd_bus_message_enter_container(message, 'a', "s");
            if (r < 0) {
                return r;
            }
            const char* uri = nullptr;
            while ((r = sd_bus_message_read(message, "s", &uri)) > 0) {
                state.files.push_back({uri});
            }
            if (r < 0) {
                return r;
            }
            sd_bus_message_exit_container(message);
            sd_bus_message_exit_container(message);
        } else {
            r = sd_bus_message_skip(message, "v");
            if (r < 0) {
                return r;
            }
        }
        sd_bus_message_exit_container(message);
    }
    return r < 0 ? r : sd_bus_message_exit_container(message);
}

int on_response(sd_bus_message* message, void* data, sd_bus_error* /*error*/)
{
    auto& state = *static_cast<ChooserState*>(data);
    const std::string_view path = sd_bus_message_get_path(message) != nullptr ? sd_bus_message_get_path(message) : "";
    // Ours: the handle the portal answered with, or (before its answer arrived) a path ending in our token.
    const bool ours = path == state.handle || (path.ends_with("/" + state.token));
    if (!ours || state.done) {
        return 0;
    }
    state.done = true;
    int r = sd_bus_message_read(message, "u", &state.response);
    if (r >= 0 && state.response == 0) {
        r = read_results(message, state);
    }
    if (r < 0) {
        state.error = fmt::format("the file chooser's answer could not be read ({})", std::strerror(-r));
    }
    return 0;
}

int append_filters(sd_bus_message* m)
{
    // a(sa(us)): a name and its glob patterns (kind 0).
    int r = sd_bus_message_open_container(m, 'v', "a(sa(us))");
    if (r >= 0) {
        r = sd_bus_message_append(m, "a(sa(us))", 2, "Certificates", 4, 0u, "*.pem", 0u, "*.crt", 0u, "*.cer", 0u,
                                  "*.der", "All files", 1, 0u, "*");
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

}  // namespace

std::expected<void, PortalError> OpenUri::open(std::string_view uri)
{
    const bool web = uri.starts_with("http://") || uri.starts_with("https://");
    if (!web || uri.size() > 4096 || uri.find_first_of(std::string_view("\0\r\n \t", 5)) != std::string_view::npos) {
        return fail(fmt::format("\"{}\" is not a web address", clean(uri)));
    }
    const auto through_portal = call_open_uri(uri);
    if (through_portal) {
        return {};
    }
    // No portal: the desktop's own opener, started on its own.
    const auto launched = cmd_runner::launch_detached({.program = "xdg-open", .args = {std::string(uri)}});
    if (launched) {
        return {};
    }
    return fail(fmt::format("{}; xdg-open: {}", through_portal.error(), launched.error().message));
}

std::optional<std::filesystem::path> ChosenFile::local_path() const
{
    CURLU* url = curl_url();
    if (url == nullptr) {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> path;
    char* scheme = nullptr;
    char* decoded = nullptr;
    if (curl_url_set(url, CURLUPART_URL, uri.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && std::strcmp(scheme, "file") == 0 &&
        curl_url_get(url, CURLUPART_PATH, &decoded, CURLU_URLDECODE) == CURLUE_OK && decoded[0] == '/' &&
        std::strlen(decoded) == std::string_view(decoded).size()) {
        path = std::filesystem::path(decoded);
    }
    curl_free(decoded);
    curl_free(scheme);
    curl_url_cleanup(url);
    return path;
}

std::expected<std::vector<ChosenFile>, PortalError> FileChooser::open(std::string_view title)
{
    return open(title, Options{});
}

std::expected<std::vector<ChosenFile>, PortalError> FileChooser::open(std::string_view title, const Options& options)
{
    const auto failed = [](std::string text) { return std::unexpected(PortalError{std::move(text)}); };
    Bus bus;
    if (auto opened = open_session(bus); !opened) {
        return failed(opened.error());
    }
    ChooserState state;
    state.token = fmt::format("vorn{}", std::random_device{}());

    const std::string rule = fmt::format("type='signal',sender='{}',interface='org.freedesktop.portal.Request',"
                                         "member='Response',path_namespace='{}'",
                                         portal_name, request_namespace);
    if (const int r = sd_bus_add_match(bus.bus, &bus.match, rule.c_str(), on_response, &state); r < 0) {
        return failed(fmt::format("the file chooser's answer cannot be awaited ({})", std::strerror(-r)));
    }

    const std::string title_text = cmd_runner::clean_text(title, {.max_chars = 200});
    int r = sd_bus_message_new_method_call(bus.bus, &bus.call, portal_name, portal_path,
                                           "org.freedesktop.portal.FileChooser", "OpenFile");
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "ss", "", title_text.c_str());
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(bus.call, 'a', "{sv}");
    }
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "{sv}", "handle_token", "s", state.token.c_str());
    }
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "{sv}", "modal", "b", 1);
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(bus.call, 'e', "sv");
    }
    if (r >= 0) {
        r = sd_bus_message_append(bus.call, "s", "filters");
    }
    if (r >= 0) {
        r = append_filters(bus.call);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(bus.call);
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(bus.call);
    }
    if (r < 0) {
        return failed(fmt::format("the file chooser request could not be built ({})", std::strerror(-r)));
    }
    r = sd_bus_call(bus.bus, bus.call, 10'000'000, &bus.error, &bus.reply);
    if (r < 0) {
        return failed(bus_error_text(bus.error, r));
    }
    const char* handle = nullptr;
    if (sd_bus_message_read(bus.reply, "o", &handle) >= 0 && handle != nullptr) {
        state.handle = handle;
    }

    const auto deadline = std::chrono::steady_clock::now() + options.limit;
    while (!state.done) {
        r = sd_bus_process(bus.bus, nullptr);
        if (r < 0) {
            return failed(fmt::format("the session bus connection failed ({})", std::strerror(-r)));
        }
        if (r > 0) {
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || options.stop.stop_requested()) {
            if (!state.handle.empty()) {
                (void)sd_bus_call_method(bus.bus, portal_name, state.handle.c_str(), "org.freedesktop.portal.Request",
                                         "Close", nullptr, nullptr, "");
            }
            if (options.stop.stop_requested()) {
                return std::vector<ChosenFile>{};
            }
            return failed("no file was chosen in time");
        }
        // Short waits, so that a stop request is seen soon.
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        const auto wait = std::min<std::int64_t>(left.count(), 200'000);
        r = sd_bus_wait(bus.bus, static_cast<std::uint64_t>(wait));
        if (r < 0 && r != -EINTR) {
            return failed(fmt::format("the session bus connection failed ({})", std::strerror(-r)));
        }
    }
    if (!state.error.empty()) {
        return failed(state.error);
    }
    switch (state.response) {
    case 0: return std::move(state.files);
    case 1: return std::vector<ChosenFile>{};  // cancelled by the user
    default: return failed("the file chooser ended without a choice");
    }
}

}  // namespace portal_client
