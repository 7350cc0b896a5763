#pragma once
// What the resource tree needs to know about this machine, behind one interface: the display outputs, the audio
// graph, the battery's charge control, Bluetooth devices, print queues and jobs, keyboard layouts, local users,
// workspaces, notification and installed applications, default-application kinds, model providers and local
// models, the assistive technology present, and the settings file.
//
// SystemPlatform asks the system layers; FakePlatform holds fixed records for tests (FakePlatform::sample() is the
// machine of the golden dump). The section builders ask current_platform(), which is the system one until a
// ScopedPlatform puts another in place (the application puts its snapshot of the system one in place for its
// lifetime, app/platform_snapshot.hpp):
//
//   ScopedPlatform scoped(std::make_shared<FakePlatform>(FakePlatform::sample()));
//   auto tree = build_root_resource(doc, accounts);

#include "config_sections/display_hardware.hpp"
#include "keyboard_layouts/keyboard_layouts.hpp"
#include "model_providers/model_providers.hpp"
#include "prefs/settings_file.hpp"
#include "sound_graph/audio.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/local_models.hpp"
#include "system_ops/printing.hpp"
#include "system_ops/users.hpp"

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace settings::actions::catalogue {

template <class T>
using Listed = std::expected<std::vector<T>, std::string>;

// A local sign-in user, as system_ops::users lists it.
struct LocalUser {
    std::string name;       // login name
    std::string full_name;  // as the user list gives it (the login when the account has no name)
    bool admin = false;
    bool signed_in = false;
    bool autologin = false;
    friend bool operator==(const LocalUser&, const LocalUser&) = default;
};

struct Workspace {
    std::uint64_t id = 0;
    std::string name;
    friend bool operator==(const Workspace&, const Workspace&) = default;
};

// An application that can have notification rules, or an installed application.
struct AppEntry {
    std::string id;
    std::string name;
    friend bool operator==(const AppEntry&, const AppEntry&) = default;
};

// A file or link type of the default-application policy: the installed applications that can open it (sorted by
// name, then id) and the one the policy names now.
struct DefaultAppKind {
    std::string id;             // "mime:text/html", "scheme:mailto"
    std::string display_label;  // "Web pages"
    std::vector<AppEntry> candidates;
    std::string handler_id;  // the id of the application the policy names; may be empty
    friend bool operator==(const DefaultAppKind&, const DefaultAppKind&) = default;
};

// How the Apps & Files page and the contract name a candidate: "<name> — <id>" (an em dash), unique per application.
[[nodiscard]] std::string default_app_choice_text(const AppEntry& app);

enum class LocalModelState : std::uint8_t { Installing, Running, Stopped, Failed };

struct ModelPackage {
    std::string id;
    std::string name;
    std::string revision;
    friend bool operator==(const ModelPackage&, const ModelPackage&) = default;
};

struct LocalModel {
    std::string id;
    std::string name;
    std::string revision;
    LocalModelState state = LocalModelState::Stopped;
    friend bool operator==(const LocalModel&, const LocalModel&) = default;
};

// What the model manager reports: recommended packages, installed models, and whether an installation may start.
struct LocalModelSnapshot {
    std::vector<ModelPackage> packages;
    std::vector<LocalModel> models;
    bool may_install = false;
    friend bool operator==(const LocalModelSnapshot&, const LocalModelSnapshot&) = default;
};

// The objects of the manager's report: its recommendation as the one package, each installed model with its state
// (downloading and installing are Installing, a ready model Running or Stopped, one in error Failed), and whether
// setting up the recommendation may start now (system_ops::local_models::may_install).
[[nodiscard]] LocalModelSnapshot local_model_objects(const system_ops::local_models::LocalModelSnapshot& snapshot);

class CataloguePlatform {
public:
    virtual ~CataloguePlatform() = default;

    [[nodiscard]] virtual prefs::SettingsFile settings_file() = 0;
    [[nodiscard]] virtual std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string>
    display_snapshot() = 0;
    // An empty graph when it cannot be read.
    [[nodiscard]] virtual sound_graph::audio::AudioGraph audio_graph() = 0;
    [[nodiscard]] virtual std::optional<system_ops::battery::ChargeCapability> charge_capability() = 0;
    [[nodiscard]] virtual Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() = 0;
    [[nodiscard]] virtual Listed<system_ops::printing::PrintQueue> print_queues() = 0;
    [[nodiscard]] virtual Listed<system_ops::printing::PrintJob> print_jobs() = 0;
    // The installed keyboard layouts; the span stays valid while the platform lives.
    [[nodiscard]] virtual std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() = 0;
    [[nodiscard]] virtual Listed<LocalUser> local_users() = 0;
    [[nodiscard]] virtual std::vector<Workspace> workspaces() = 0;
    [[nodiscard]] virtual std::vector<AppEntry> notification_apps() = 0;
    [[nodiscard]] virtual std::vector<AppEntry> installed_apps() = 0;
    [[nodiscard]] virtual std::vector<DefaultAppKind> default_app_kinds() = 0;
    [[nodiscard]] virtual std::vector<model_providers::ProviderProfile> provider_profiles() = 0;
    [[nodiscard]] virtual LocalModelSnapshot local_models() = 0;
    [[nodiscard]] virtual bool has_screen_reader_engine() = 0;
    [[nodiscard]] virtual bool has_on_screen_keyboard() = 0;
};

// The machine itself: each query goes to its system layer (the replaceable backends of config_sections,
// sound_graph and system_ops (local users through system_ops::users), the keyboard layout catalogue, the desktop
// entries of the data directories, the model provider configuration, the model manager's snapshot). Queries for
// services this system does not run (the workspace mesh, the default-application policy), and a model manager that
// is missing or does not answer, give empty lists.
class SystemPlatform final : public CataloguePlatform {
public:
    struct Options {
        std::vector<std::string> application_dirs;  // empty: the XDG application folders (desktop_files)
        std::vector<std::string> package_roots;     // empty: the Vorn package roots (app_catalog)
    };
    SystemPlatform() = default;
    explicit SystemPlatform(Options options) : options_(std::move(options)) {}

    prefs::SettingsFile settings_file() override;
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> display_snapshot() override;
    sound_graph::audio::AudioGraph audio_graph() override;
    std::optional<system_ops::battery::ChargeCapability> charge_capability() override;
    Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() override;
    Listed<system_ops::printing::PrintQueue> print_queues() override;
    Listed<system_ops::printing::PrintJob> print_jobs() override;
    std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() override;
    Listed<LocalUser> local_users() override;
    std::vector<Workspace> workspaces() override;
    std::vector<AppEntry> notification_apps() override;
    std::vector<AppEntry> installed_apps() override;
    std::vector<DefaultAppKind> default_app_kinds() override;
    std::vector<model_providers::ProviderProfile> provider_profiles() override;
    LocalModelSnapshot local_models() override;
    bool has_screen_reader_engine() override;
    bool has_on_screen_keyboard() override;

private:
    Options options_;
};

// Fixed answers, set field by field.
class FakePlatform final : public CataloguePlatform {
public:
    prefs::SettingsFile settings;
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> displays =
        config_sections::hardware::DisplayHardwareSnapshot{};
    sound_graph::audio::AudioGraph audio;
    std::optional<system_ops::battery::ChargeCapability> charge;
    Listed<system_ops::bluez::BluetoothDevice> bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{};
    Listed<system_ops::printing::PrintQueue> queues = std::vector<system_ops::printing::PrintQueue>{};
    Listed<system_ops::printing::PrintJob> jobs = std::vector<system_ops::printing::PrintJob>{};
    std::vector<keyboard_layouts::KeyboardLayout> layouts;
    Listed<LocalUser> users = std::vector<LocalUser>{};
    std::vector<Workspace> workspace_list;
    std::vector<AppEntry> notification_app_list;
    std::vector<AppEntry> installed_app_list;
    std::vector<DefaultAppKind> default_kinds;
    std::vector<model_providers::ProviderProfile> providers;
    LocalModelSnapshot models;
    bool screen_reader_engine = false;
    bool on_screen_keyboard = false;

    // A laptop with a second monitor, two identical headsets, a Bluetooth mouse and speaker, two printers with a
    // job, two users besides the signed-in one, accounts of every kind, providers and local models: every object
    // kind and every conditional action of the tree appears at least once.
    [[nodiscard]] static FakePlatform sample();

    prefs::SettingsFile settings_file() override { return settings; }
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> display_snapshot() override
    {
        return displays;
    }
    sound_graph::audio::AudioGraph audio_graph() override { return audio; }
    std::optional<system_ops::battery::ChargeCapability> charge_capability() override { return charge; }
    Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() override { return bluetooth; }
    Listed<system_ops::printing::PrintQueue> print_queues() override { return queues; }
    Listed<system_ops::printing::PrintJob> print_jobs() override { return jobs; }
    std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() override { return layouts; }
    Listed<LocalUser> local_users() override { return users; }
    std::vector<Workspace> workspaces() override { return workspace_list; }
    std::vector<AppEntry> notification_apps() override { return notification_app_list; }
    std::vector<AppEntry> installed_apps() override { return installed_app_list; }
    std::vector<DefaultAppKind> default_app_kinds() override { return default_kinds; }
    std::vector<model_providers::ProviderProfile> provider_profiles() override { return providers; }
    LocalModelSnapshot local_models() override { return models; }
    bool has_screen_reader_engine() override { return screen_reader_engine; }
    bool has_on_screen_keyboard() override { return on_screen_keyboard; }
};

// The platform the section builders ask: the system one unless replaced.
[[nodiscard]] std::shared_ptr<CataloguePlatform> current_platform();
// Puts `platform` in place (nullptr: the system one again) and returns the previous one.
std::shared_ptr<CataloguePlatform> replace_current_platform(std::shared_ptr<CataloguePlatform> platform);
// The same, only while `expected` is the current platform (an owner taking its own platform back out without
// undoing a later replacement); answers whether it replaced it.
bool replace_current_platform_if(const CataloguePlatform* expected, std::shared_ptr<CataloguePlatform> platform);

class [[nodiscard]] ScopedPlatform {
public:
    explicit ScopedPlatform(std::shared_ptr<CataloguePlatform> platform)
        : previous_(replace_current_platform(std::move(platform)))
    {
    }
    ~ScopedPlatform() { replace_current_platform(std::move(previous_)); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    std::shared_ptr<CataloguePlatform> previous_;
};

}  // namespace settings::actions::catalogue
