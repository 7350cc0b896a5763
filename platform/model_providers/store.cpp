// The stored configuration file: its text, loading, locked whole-file saves and the removal of a provider.
#include "model_providers/model_providers.hpp"

#include "json_text/json_text.hpp"
#include "json_text/record.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <mutex>
#include <set>

namespace model_providers {

using json_text::Json;
using json_text::Status;

// Stored names of the enumerations, in enumeration order.
constexpr std::array<std::string_view, 2> protocol_names{"openai-compatible", "anthropic"};
constexpr std::array<std::string_view, 3> kind_names{"hosted", "this-device", "private-network"};

Status read_value(const Json& v, ProviderProtocol& out) { return json_text::read_enum(v, out, protocol_names); }
Status read_value(const Json& v, ProviderKind& out) { return json_text::read_enum(v, out, kind_names); }

Status read_value(const Json& v, ModelDescriptor& out)
{
    json_text::RecordReader r(v, "ModelDescriptor", 5);
    r.required("id", out.id)
        .defaulted("name", out.name)
        .defaulted("revision", out.revision)
        .defaulted("vision", out.vision)
        .defaulted("face_recognition", out.face_recognition);
    return r.finish();
}

Status read_value(const Json& v, ProviderProfile& out)
{
    json_text::RecordReader r(v, "ProviderProfile", 8);
    r.required("id", out.id)
        .defaulted("label", out.label)
        .defaulted("endpoint", out.endpoint)
        .required("protocol", out.protocol)
        .defaulted("enabled", out.enabled)
        .defaulted("kind", out.kind)
        .defaulted("default_model", out.default_model)
        .defaulted("models", out.models);
    return r.finish();
}

namespace {

// Counts the writes of this process to any provider configuration file.
std::atomic<std::uint64_t> saved_writes{0};

constexpr std::uint64_t format_version = 1;
constexpr std::size_t max_file_size = 8 * 1024 * 1024;

Json model_json(const ModelDescriptor& model)
{
    Json out = Json::object();
    out["id"] = model.id;
    out["name"] = model.name;
    out["revision"] = model.revision;
    out["vision"] = model.vision;
    out["face_recognition"] = model.face_recognition;
    return out;
}

Json profile_json(const ProviderProfile& profile)
{
    Json models = Json::array();
    for (const auto& model : profile.models) {
        models.push_back(model_json(model));
    }
    Json out = Json::object();
    out["id"] = profile.id;
    out["label"] = profile.label;
    out["endpoint"] = profile.endpoint;
    out["protocol"] = protocol_id(profile.protocol);
    out["enabled"] = profile.enabled;
    out["kind"] = kind_id(profile.kind);
    out["default_model"] = json_text::value_or_null(profile.default_model);
    out["models"] = std::move(models);
    return out;
}

// The whole text of a file: none when it does not exist; an error when it exists but cannot be read.
std::expected<std::optional<std::string>, std::string> read_text(const std::filesystem::path& path)
{
    return safe_write::read_file(path, max_file_size);
}

bool is_blank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The configuration is loaded whenever the provider list is built; a damaged file is reported once per problem.
void warn_once(const std::string& problem)
{
    static std::mutex mutex;
    static std::set<std::string> reported;
    const std::lock_guard lock(mutex);
    if (reported.insert(problem).second) {
        VORN_WARN("model_providers_load", "{}", problem);
    }
}

std::expected<std::filesystem::path, std::string> target_of(const ProviderConfig& config)
{
    if (!config.file.empty()) {
        return config.file;
    }
    if (auto path = ProviderConfig::default_path()) {
        return *path;
    }
    return std::unexpected("no configuration directory for the provider configuration (HOME is not set)");
}

std::expected<void, std::string> create_parent(const std::filesystem::path& path)
{
    if (const auto parent = path.parent_path(); !parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            return std::unexpected(fmt::format("could not create {}: {}", parent.string(), ec.message()));
        }
    }
    return {};
}

// Writes `text` over the file whose current contents are `current`, the caller holding the file's lock.
std::expected<void, std::string> write_locked(const std::filesystem::path& path,
                                              const std::optional<std::string>& current, const std::string& text)
{
    if (current && !is_blank(*current)) {
        if (*current == text) {
            return {};
        }
        if (auto stored = ProviderConfig::from_text(*current); !stored) {
            auto aside = safe_write::keep_corrupt_copy(path);
            if (!aside) {
                return std::unexpected(aside.error());
            }
            VORN_WARN("model_providers_save", "{} was damaged ({}); its text was kept as {}", path.string(),
                      stored.error(), aside->string());
        }
    }
    auto written = safe_write::write_file(path, text, {.private_file = true});
    if (written) {
        saved_writes.fetch_add(1, std::memory_order_relaxed);
    }
    return written;
}

}  // namespace

std::optional<std::filesystem::path> ProviderConfig::default_path()
{
    auto dir = user_dirs::config_dir();
    if (!dir) {
        return std::nullopt;
    }
    return *dir / "vorn" / "model-providers.json";
}

std::string ProviderConfig::to_text() const
{
    Json providers = Json::array();
    for (const auto& profile : profiles) {
        providers.push_back(profile_json(profile));
    }
    Json root = Json::object();
    root["version"] = format_version;
    root["default_provider"] = json_text::value_or_null(default_provider);
    root["providers"] = std::move(providers);
    return json_text::pretty(root);
}

std::expected<ProviderConfig, std::string> ProviderConfig::from_text(std::string_view text)
{
    auto root = json_text::parse(text);
    if (!root) {
        return std::unexpected(root.error());
    }
    if (!root->is_object()) {
        return std::unexpected(json_text::invalid_type(*root, "a provider configuration object"));
    }
    std::uint64_t version = format_version;
    ProviderConfig config;
    json_text::RecordReader r(*root, "ProviderConfig", 3);
    r.defaulted("version", version)
        .defaulted("default_provider", config.default_provider)
        .defaulted("providers", config.profiles);
    if (auto ok = r.finish(); !ok) {
        return std::unexpected(ok.error());
    }
    if (version != format_version) {
        return std::unexpected(fmt::format("format version {} is not supported (this program reads version {})",
                                           version, format_version));
    }
    return config;
}

std::expected<ProviderConfig, std::string> ProviderConfig::read(const std::filesystem::path& file)
{
    auto text = read_text(file);
    if (!text) {
        return std::unexpected(text.error());
    }
    ProviderConfig config;
    if (*text && !is_blank(**text)) {
        auto parsed = from_text(**text);
        if (!parsed) {
            return std::unexpected(fmt::format("{} is damaged: {}", file.string(), parsed.error()));
        }
        config = std::move(*parsed);
    }
    config.file = file;
    return config;
}

ProviderConfig ProviderConfig::load_from(const std::filesystem::path& file)
{
    auto config = read(file);
    if (config) {
        return std::move(*config);
    }
    warn_once(config.error());
    ProviderConfig empty;
    empty.file = file;
    empty.load_error = std::move(config.error());
    return empty;
}

ProviderConfig ProviderConfig::load()
{
    if (auto path = default_path()) {
        return load_from(*path);
    }
    ProviderConfig empty;
    empty.load_error = "no configuration directory for the provider configuration (HOME is not set)";
    return empty;
}

std::expected<void, std::string> ProviderConfig::save() const
{
    const auto path = target_of(*this);
    if (!path) {
        return std::unexpected(path.error());
    }
    if (auto made = create_parent(*path); !made) {
        return made;
    }
    auto lock = safe_write::FileLock::acquire_for(*path);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    safe_write::remove_stale_temporaries(*path);
    const auto current = read_text(*path);
    if (!current) {
        return std::unexpected(current.error() + "; the file was left unchanged");
    }
    return write_locked(*path, *current, to_text());
}

std::expected<void, RemovalError> ProviderConfig::remove_and_release(std::string_view id, const Release& release)
{
    using Step = RemovalError::Step;
    if (find(id) == nullptr) {
        return std::unexpected(RemovalError{.step = Step::NotFound});
    }
    const auto fail_save = [](std::string detail) {
        return std::unexpected(RemovalError{.step = Step::Save, .detail = std::move(detail)});
    };
    const auto path = target_of(*this);
    if (!path) {
        return fail_save(path.error());
    }
    if (auto made = create_parent(*path); !made) {
        return fail_save(made.error());
    }
    auto lock = safe_write::FileLock::acquire_for(*path);
    if (!lock) {
        return fail_save(lock.error());
    }
    safe_write::remove_stale_temporaries(*path);
    const auto before = read_text(*path);
    if (!before) {
        return fail_save(before.error() + "; the file was left unchanged");
    }

    ProviderConfig after = *this;
    after.remove(id);
    after.load_error.reset();
    if (auto saved = write_locked(*path, *before, after.to_text()); !saved) {
        return fail_save(saved.error());
    }

    if (auto released = release(id); !released) {
        RemovalError error{.step = Step::Release, .detail = std::move(released.error())};
        const auto restored = *before ? safe_write::write_file(*path, **before, {.private_file = true})
                                      : safe_write::remove_file(*path);
        saved_writes.fetch_add(1, std::memory_order_relaxed);
        if (!restored) {
            error.restore_error = restored.error();
            VORN_ERROR("model_providers_remove",
                       "provider {} was removed from {} but what belongs to it could not be deleted ({}) and the "
                       "configuration could not be put back ({})",
                       id, path->string(), error.detail, restored.error());
        }
        return std::unexpected(std::move(error));
    }
    *this = std::move(after);
    return {};
}

std::uint64_t saved_generation() { return saved_writes.load(std::memory_order_relaxed); }

}  // namespace model_providers
