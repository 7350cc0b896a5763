#include "actions/catalogue/platform.hpp"

#include "app_catalog/app_catalog.hpp"
#include "desk_rules/defaults.hpp"
#include "desktop_files/desktop_files.hpp"
#include "setting_tables/labels.hpp"
#include "vorn_log/log.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>

namespace settings::actions::catalogue {

namespace {

using config_sections::hardware::DisplayHardwareSnapshot;

// The desktop entries of the folders the options name, else the kept scan of the XDG application folders.
std::vector<desktop_files::DesktopEntry> desktop_entries(const SystemPlatform::Options& options)
{
    if (options.application_dirs.empty()) {
        return desktop_files::cache::cached_scan();
    }
    std::vector<std::filesystem::path> dirs(options.application_dirs.begin(), options.application_dirs.end());
    return desktop_files::scan(dirs, desktop_files::user_languages());
}

}  // namespace

prefs::SettingsFile SystemPlatform::settings_file()
{
    return prefs::load_settings_file();
}

std::expected<DisplayHardwareSnapshot, std::string> SystemPlatform::display_snapshot()
{
    return DisplayHardwareSnapshot::load();
}

sound_graph::audio::AudioGraph SystemPlatform::audio_graph()
{
    return sound_graph::audio::enumerate();
}

std::optional<system_ops::battery::ChargeCapability> SystemPlatform::charge_capability()
{
    return system_ops::battery::charge_capability();
}

Listed<system_ops::bluez::BluetoothDevice> SystemPlatform::bluetooth_devices()
{
    return system_ops::bluez::devices();
}

Listed<system_ops::printing::PrintQueue> SystemPlatform::print_queues()
{
    return system_ops::printing::queues();
}

Listed<system_ops::printing::PrintJob> SystemPlatform::print_jobs()
{
    return system_ops::printing::jobs();
}

std::span<const keyboard_layouts::KeyboardLayout> SystemPlatform::keyboard_layouts()
{
    return keyboard_layouts::keyboard_layout_catalog();
}

Listed<LocalUser> SystemPlatform::local_users()
{
    auto accounts = system_ops::users::login_users();
    if (!accounts) {
        return std::unexpected(std::move(accounts.error()));
    }
    std::vector<LocalUser> users;
    users.reserve(accounts->size());
    for (auto& account : *accounts) {
        users.push_back({.name = std::move(account.login),
                         .full_name = std::move(account.full_name),
                         .admin = account.admin,
                         .signed_in = account.signed_in,
                         .autologin = account.automatic_login});
    }
    return users;
}

std::vector<Workspace> SystemPlatform::workspaces()
{
    return {};
}

std::vector<AppEntry> SystemPlatform::notification_apps()
{
    const auto file = settings_file();
    std::vector<std::string> rule_ids;
    for (const auto& [id, rule] : file.notifications.per_app) {
        rule_ids.push_back(id);
    }
    const auto installed = app_catalog::installed_apps();
    const auto desktop = desktop_entries(options_);
    std::vector<AppEntry> apps;
    for (auto& app : app_catalog::notification_apps(installed, desktop, rule_ids)) {
        apps.push_back({std::move(app.id), std::move(app.name)});
    }
    return apps;
}

// The installed packages with a graphical entry point, then the desktop entries; an id keeps its first name.
std::vector<AppEntry> SystemPlatform::installed_apps()
{
    std::vector<AppEntry> apps;
    std::set<std::string> seen;
    for (auto& app : app_catalog::installed_apps()) {
        if (seen.insert(app.id).second) {
            apps.push_back({std::move(app.id), std::move(app.name)});
        }
    }
    for (auto& entry : desktop_entries(options_)) {
        if (seen.insert(entry.app_id()).second) {
            apps.push_back({entry.app_id(), std::move(entry.name)});
        }
    }
    std::stable_sort(apps.begin(), apps.end(), [](const AppEntry& a, const AppEntry& b) {
        return a.name != b.name ? a.name < b.name : a.id < b.id;
    });
    return apps;
}

std::vector<DefaultAppKind> SystemPlatform::default_app_kinds()
{
    namespace defaults = desk_rules::defaults;
    const auto apps = defaults::installed_apps(
        std::vector<std::filesystem::path>(options_.package_roots.begin(), options_.package_roots.end()));
    const auto personal = defaults::PersonalDefaults::load();
    std::vector<DefaultAppKind> kinds;
    for (const auto& kind : defaults::kinds(apps)) {
        DefaultAppKind entry{kind, defaults::ResourceKind{kind}.display_label(), {}, {}};
        for (const auto& app : defaults::candidates(apps, kind)) {
            entry.candidates.push_back({app.id, app.name});
        }
        if (const auto handler = defaults::DefaultAppResolver::resolve(kind, apps, personal, nullptr)) {
            entry.handler_id = handler->id;
        }
        kinds.push_back(std::move(entry));
    }
    return kinds;
}

std::vector<model_providers::ProviderProfile> SystemPlatform::provider_profiles()
{
    return model_providers::ProviderConfig::load().profiles;
}

LocalModelSnapshot local_model_objects(const system_ops::local_models::LocalModelSnapshot& snapshot)
{
    namespace lm = system_ops::local_models;
    LocalModelSnapshot objects;
    if (snapshot.recommendation) {
        const auto& package = *snapshot.recommendation;
        objects.packages.push_back({package.id, package.name, package.revision});
    }
    for (const auto& model : snapshot.models) {
        LocalModelState state = LocalModelState::Installing;
        if (const auto* ready = std::get_if<lm::Ready>(&model.phase)) {
            state = ready->running ? LocalModelState::Running : LocalModelState::Stopped;
        } else if (std::holds_alternative<lm::Failed>(model.phase)) {
            state = LocalModelState::Failed;
        }
        objects.models.push_back({model.package.id, model.package.name, model.package.revision, state});
    }
    objects.may_install = lm::may_install(snapshot);
    return objects;
}

LocalModelSnapshot SystemPlatform::local_models()
{
    // Asked for every catalogue snapshot: a manager that is not installed is the normal case, not worth a log line.
    const auto snapshot = system_ops::local_models::local_model_snapshot();
    return snapshot ? local_model_objects(*snapshot) : LocalModelSnapshot{};
}

bool SystemPlatform::has_screen_reader_engine()
{
    return setting_tables::has_screen_reader_engine();
}

// The on-screen keyboard is the system package whose manifest names the service "so.vorn.osk" with a graphical
// entry point; a package list that cannot be read counts as none, a manifest that cannot be read is skipped.
bool SystemPlatform::has_on_screen_keyboard()
{
    auto packages = options_.package_roots.empty()
                        ? app_catalog::registry::list_installed()
                        : app_catalog::registry::list_installed(std::vector<std::filesystem::path>(
                              options_.package_roots.begin(), options_.package_roots.end()));
    if (!packages) {
        return false;
    }
    return std::any_of(packages->begin(), packages->end(), [](const app_catalog::registry::InstalledPackage& package) {
        const auto manifest = app_catalog::manifest::read_manifest(package);
        return manifest && manifest->app_id == "so.vorn.osk" && manifest->kind == "service" &&
               manifest->entrypoint.gui_bin(package.dir).has_value();
    });
}

std::string default_app_choice_text(const AppEntry& app)
{
    return app.name + " \u2014 " + app.id;
}

// ---- The sample machine --------------------------------------------------------------------------------------------

FakePlatform FakePlatform::sample()
{
    using config_sections::hardware::OutputDescriptor;
    using config_sections::hardware::OutputMode;
    FakePlatform p;

    p.settings.input.keyboard_layouts = {"us", "de"};
    p.settings.input.keyboard_layout = "us";
    p.settings.appearance.theme = "Nord";
    p.settings.appearance.text_scale = 1.15;
    p.settings.accessibility.cursor_size = 48;
    p.settings.notifications.per_app["org.example.Chat"] = {};

    OutputDescriptor panel;
    panel.connector = "eDP-1";
    panel.name = "Sharp LQ134";
    panel.built_in = true;
    panel.enabled = true;
    panel.modes = {{2560, 1600, 60000}, {1920, 1200, 60000}};
    panel.current_mode = panel.modes.front();
    panel.color_profiles = {"srgb", "p3", "unknown"};
    panel.color_profile_catalogue = {{"p3", "Display P3"}, {"srgb", "sRGB"}};
    OutputDescriptor left;
    left.connector = "DP-1";
    left.name = "DELL U2720Q";
    left.enabled = true;
    left.modes = {{3840, 2160, 60000}, {2560, 1440, 59951}};
    left.qualifier = "DP-1";
    OutputDescriptor right = left;
    right.connector = "DP-2";
    right.qualifier = "DP-2";
    p.displays = DisplayHardwareSnapshot{{panel, left, right}};

    sound_graph::audio::AudioNode speakers{.node_name = "alsa_output.speakers", .display_name = "Speakers", .id = 40};
    sound_graph::audio::AudioNode headset_a{.node_name = "bluez_output.a", .display_name = "WH-1000XM4", .id = 41};
    sound_graph::audio::AudioNode headset_b{.node_name = "bluez_output.b", .display_name = "WH-1000XM4", .id = 42};
    sound_graph::audio::AudioNode microphone{.node_name = "alsa_input.mic", .display_name = "Microphone", .id = 50};
    p.audio.sinks = {speakers, headset_a, headset_b};
    p.audio.sources = {microphone};
    sound_graph::audio::AudioStream music;
    music.id = 70;
    music.application_name = "Music";
    music.media_name = "Song";
    sound_graph::audio::AudioStream call;
    call.id = 71;
    call.playback = false;
    call.application_name = "Meet";
    p.audio.playback_streams = {music};
    p.audio.recording_streams = {call};
    p.audio.devices = {{.id = 30,
                        .display_name = "Built-in Audio",
                        .profiles = {{"output:analog-stereo", "Analog Stereo Output", 0, true},
                                     {"off", "Off", 1, true}},
                        .active_profile = 0}};

    p.charge = system_ops::battery::ChargeCapability{{60, 80, 100}, 80};

    p.bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{
        {.path = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01", .name = "MX Master", .paired = true, .connected = true},
        {.path = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_02", .name = "Speaker", .paired = true},
        {.path = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_03", .name = "Unknown phone"}};

    system_ops::printing::PrintQueue office;
    office.name = "Office";
    office.is_default = true;
    system_ops::printing::PrintQueue label_printer;
    label_printer.name = "Labels";
    label_printer.state = system_ops::printing::QueueState::Paused;
    p.queues = std::vector<system_ops::printing::PrintQueue>{office, label_printer};
    system_ops::printing::PrintJob job;
    job.id = "17";
    job.title = "report.pdf";
    job.printer = "Office";
    p.jobs = std::vector<system_ops::printing::PrintJob>{job};

    p.layouts = {{"de", "German"}, {"us", "English (US)"}, {"us:colemak", "English (US) \u2014 English (Colemak)"}};

    p.users = std::vector<LocalUser>{
        {.name = "ada", .full_name = "Ada Lovelace", .admin = true, .signed_in = true},
        {.name = "alan", .full_name = "Alan Turing", .admin = true, .autologin = true},
        {.name = "grace", .full_name = "Grace Hopper"}};
    p.workspace_list = {{7, "Family"}, {9, "Studio"}};
    p.notification_app_list = {{"org.example.Chat", "Chat"}, {"org.example.Mail", "Mail"}};
    p.installed_app_list = {{"org.example.Browser", "Browser"}, {"org.example.Mail", "Mail"},
                            {"org.example.Mail2", "Mail"},       {"org.example.Viewer", "Viewer"}};
    p.default_kinds = {{"mime:text/html", "Web pages",
                        {{"org.example.Browser", "Browser"}, {"org.example.Viewer", "Viewer"}}, "org.example.Browser"},
                       {"scheme:mailto", "Email links",
                        {{"org.example.Mail", "Mail"}, {"org.example.Mail2", "Mail"}}, "org.example.Mail2"}};

    model_providers::ProviderProfile anthropic;
    anthropic.id = "anthropic-1";
    anthropic.label = "Anthropic";
    anthropic.endpoint = "https://api.anthropic.com/v1";
    anthropic.protocol = model_providers::ProviderProtocol::Anthropic;
    model_providers::ProviderProfile lab;
    lab.id = "lab";
    lab.label = "Lab server";
    lab.endpoint = "http://10.0.0.5:8000/v1";
    lab.enabled = false;
    lab.kind = model_providers::ProviderKind::PrivateNetwork;
    p.providers = {anthropic, lab, model_providers::ProviderProfile::local_vllm()};

    p.models.packages = {{"qwen-7b", "Qwen 7B", "r3"}};
    p.models.models = {{"llama-8b", "Llama 8B", "r1", LocalModelState::Running},
                       {"phi-3", "Phi 3", "r2", LocalModelState::Stopped},
                       {"mistral", "Mistral", "r4", LocalModelState::Failed},
                       {"gemma", "Gemma", "r5", LocalModelState::Installing}};
    p.models.may_install = true;

    p.screen_reader_engine = true;
    p.on_screen_keyboard = true;
    return p;
}

// ---- The current platform --------------------------------------------------------------------------------------------

namespace {

std::mutex current_mutex;
std::shared_ptr<CataloguePlatform>& current_slot()
{
    static std::shared_ptr<CataloguePlatform> slot;
    return slot;
}

}  // namespace

std::shared_ptr<CataloguePlatform> current_platform()
{
    std::lock_guard lock(current_mutex);
    auto& slot = current_slot();
    if (!slot) {
        slot = std::make_shared<SystemPlatform>();
    }
    return slot;
}

std::shared_ptr<CataloguePlatform> replace_current_platform(std::shared_ptr<CataloguePlatform> platform)
{
    std::lock_guard lock(current_mutex);
    auto previous = std::move(current_slot());
    current_slot() = std::move(platform);
    return previous;
}

bool replace_current_platform_if(const CataloguePlatform* expected, std::shared_ptr<CataloguePlatform> platform)
{
    std::shared_ptr<CataloguePlatform> previous;  // released outside the lock
    std::lock_guard lock(current_mutex);
    if (current_slot().get() != expected) {
        return false;
    }
    previous = std::exchange(current_slot(), std::move(platform));
    return true;
}

}  // namespace settings::actions::catalogue
