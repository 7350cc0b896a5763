#include "system_ops/local_models.hpp"

#include "json_text/json_text.hpp"
#include "json_text/record.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>

namespace system_ops::local_models {

using json_text::Json;
using json_text::Status;

namespace {

// Bounds of the texts shown to the user: names and short values, and the longer descriptions and messages.
constexpr std::size_t name_bytes = 256;
constexpr std::size_t text_bytes = 2048;
// What the snapshot's standard error may add to a message.
constexpr std::size_t stderr_chars = 512;

constexpr std::array<std::string_view, 4> fit_names{"excellent", "good", "tight", "unsupported"};
constexpr std::array<std::string_view, 4> phase_names{"downloading", "installing", "ready", "error"};
constexpr std::array<std::string_view, 6> accelerator_names{"available", "queued",  "staging",
                                                            "restart_required", "active", "error"};

std::string clean(const std::string& text, std::size_t max_bytes)
{
    return cmd_runner::clean_text(text, {.max_bytes = max_bytes, .trim = true});
}

// The member "state" of an internally tagged value: its index in `names`.
template <std::size_t N>
std::expected<std::size_t, std::string> state_of(const Json& v, const std::array<std::string_view, N>& names,
                                                 std::string_view record)
{
    if (!v.is_object()) {
        return std::unexpected(json_text::invalid_type(v, fmt::format("internally tagged enum {}", record)));
    }
    const auto tag = v.find("state");
    if (tag == v.end()) {
        return std::unexpected(std::string("missing field `state`"));
    }
    if (!tag->is_string()) {
        return std::unexpected(json_text::invalid_type(*tag, "a state name"));
    }
    const auto& name = tag->get_ref<const std::string&>();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return i;
        }
    }
    return std::unexpected(json_text::unknown_variant(name, names));
}

// The snapshot is a report with named members: the positional (array) form of stored records is not taken.
Status named_members(const Json& v, std::string_view record)
{
    if (!v.is_object()) {
        return std::unexpected(json_text::invalid_type(v, fmt::format("struct {}", record)));
    }
    return {};
}

}  // namespace

// Record readers, found by argument-dependent lookup from json_text's templates.
Status read_value(const Json& v, HardwareFit& out) { return json_text::read_enum(v, out, fit_names); }

Status read_value(const Json& v, HardwareRecommendation& out)
{
    if (auto ok = named_members(v, "HardwareRecommendation"); !ok) {
        return ok;
    }
    json_text::RecordReader r(v, "HardwareRecommendation", 6);
    r.required("fit", out.fit)
        .required("memory_gib", out.memory_gib)
        .required("accelerator", out.accelerator)
        .defaulted("accelerator_memory_gib", out.accelerator_memory_gib)
        .defaulted("free_storage_gib", out.free_storage_gib)
        .required("reason", out.reason);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out.accelerator = clean(out.accelerator, name_bytes);
    out.reason = clean(out.reason, text_bytes);
    return {};
}

Status read_value(const Json& v, LocalModelPackage& out)
{
    if (auto ok = named_members(v, "LocalModelPackage"); !ok) {
        return ok;
    }
    json_text::RecordReader r(v, "LocalModelPackage", 11);
    r.required("id", out.id)
        .required("name", out.name)
        .required("description", out.description)
        .required("source", out.source)
        .required("revision", out.revision)
        .required("license", out.license)
        .required("license_url", out.license_url)
        .required("download_bytes", out.download_bytes)
        .required("installed_bytes", out.installed_bytes)
        .defaulted("vision", out.vision)
        .defaulted("face_recognition", out.face_recognition);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out.name = clean(out.name, name_bytes);
    out.description = clean(out.description, text_bytes);
    out.source = clean(out.source, text_bytes);
    out.license = clean(out.license, name_bytes);
    out.license_url = clean(out.license_url, text_bytes);
    return {};
}

Status read_value(const Json& v, LocalModelEndpoint& out)
{
    if (auto ok = named_members(v, "LocalModelEndpoint"); !ok) {
        return ok;
    }
    json_text::RecordReader r(v, "LocalModelEndpoint", 2);
    r.required("url", out.url).required("model_id", out.model_id);
    return r.finish();
}

Status read_value(const Json& v, Downloading& out)
{
    json_text::RecordReader r(v, "downloading", 2);
    r.required("downloaded_bytes", out.downloaded_bytes).required("total_bytes", out.total_bytes);
    return r.finish();
}

Status read_value(const Json& v, Installing& out)
{
    json_text::RecordReader r(v, "installing", 2);
    r.defaulted("percent", out.percent).required("message", out.message);
    out.message = clean(out.message, text_bytes);
    return r.finish();
}

Status read_value(const Json& v, Ready& out)
{
    json_text::RecordReader r(v, "ready", 2);
    r.defaulted("endpoint", out.endpoint).required("running", out.running);
    return r.finish();
}

Status read_value(const Json& v, Failed& out)
{
    json_text::RecordReader r(v, "error", 1);
    r.required("message", out.message);
    out.message = clean(out.message, text_bytes);
    return r.finish();
}

namespace {

// The variant's members, which stand beside "state" in the phase's object.
template <class Phase>
Status read_phase(const Json& v, LocalModelPhase& out)
{
    Phase phase;
    if (auto ok = read_value(v, phase); !ok) {
        return ok;
    }
    out = std::move(phase);
    return {};
}

}  // namespace

Status read_value(const Json& v, LocalModelPhase& out)
{
    const auto state = state_of(v, phase_names, "LocalModelPhase");
    if (!state) {
        return std::unexpected(state.error());
    }
    switch (*state) {
        case 0: return read_phase<Downloading>(v, out);
        case 1: return read_phase<Installing>(v, out);
        case 2: return read_phase<Ready>(v, out);
        default: return read_phase<Failed>(v, out);
    }
}

Status read_value(const Json& v, InstalledLocalModel& out)
{
    if (auto ok = named_members(v, "InstalledLocalModel"); !ok) {
        return ok;
    }
    json_text::RecordReader r(v, "InstalledLocalModel", 2);
    r.required("package", out.package).required("phase", out.phase);
    return r.finish();
}

Status read_value(const Json& v, AcceleratorSetup& out)
{
    if (auto ok = named_members(v, "AcceleratorSetup"); !ok) {
        return ok;
    }
    std::string boot_pack_id;
    json_text::RecordReader r(v, "AcceleratorSetup", 2);
    r.required("boot_pack_id", boot_pack_id);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    const auto status = v.find("status");
    if (status == v.end()) {
        return std::unexpected(std::string("missing field `status`"));
    }
    const auto state = state_of(*status, accelerator_names, "AcceleratorSetupState");
    if (!state) {
        return std::unexpected(state.error());
    }
    out.boot_pack_id = clean(boot_pack_id, name_bytes);
    out.state = static_cast<AcceleratorState>(*state);
    out.message.clear();
    if (out.state == AcceleratorState::Error) {
        json_text::RecordReader error(*status, "error", 1);
        error.required("message", out.message);
        if (auto ok = error.finish(); !ok) {
            return ok;
        }
        out.message = clean(out.message, text_bytes);
    }
    return {};
}

Status read_value(const Json& v, LocalModelSnapshot& out)
{
    if (auto ok = named_members(v, "LocalModelSnapshot"); !ok) {
        return ok;
    }
    json_text::RecordReader r(v, "LocalModelSnapshot", 4);
    r.required("hardware", out.hardware)
        .defaulted("recommendation", out.recommendation)
        .defaulted("models", out.models)
        .defaulted("accelerator_setup", out.accelerator_setup);
    return r.finish();
}

const InstalledLocalModel* LocalModelSnapshot::find(std::string_view model_id) const
{
    const auto it = std::find_if(models.begin(), models.end(),
                                 [&](const InstalledLocalModel& model) { return model.package.id == model_id; });
    return it == models.end() ? nullptr : &*it;
}

Result<LocalModelSnapshot> decode_snapshot(std::string_view json)
{
    auto root = json_text::parse(json);
    if (!root) {
        return std::unexpected(std::move(root.error()));
    }
    return json_text::decode<LocalModelSnapshot>(*root);
}

// ---- Derived views -------------------------------------------------------------------------------------------------

std::string_view phase_label(const LocalModelPhase& phase)
{
    switch (phase.index()) {
        case 0: return "Downloading";
        case 1: return "Installing";
        case 2: return std::get<Ready>(phase).running ? "Running" : "Ready";
        default: return "Needs attention";
    }
}

std::optional<double> progress(const LocalModelPhase& phase)
{
    if (const auto* downloading = std::get_if<Downloading>(&phase); downloading && downloading->total_bytes != 0) {
        return std::min(1.0, static_cast<double>(downloading->downloaded_bytes) /
                                 static_cast<double>(downloading->total_bytes));
    }
    if (const auto* installing = std::get_if<Installing>(&phase); installing && installing->percent) {
        return std::min(1.0, *installing->percent / 100.0);
    }
    return std::nullopt;
}

bool is_transitional(const LocalModelPhase& phase)
{
    return std::holds_alternative<Downloading>(phase) || std::holds_alternative<Installing>(phase);
}

bool is_transitional(AcceleratorState state)
{
    return state == AcceleratorState::Queued || state == AcceleratorState::Staging;
}

bool has_transitional_phase(const LocalModelSnapshot& snapshot)
{
    if (snapshot.accelerator_setup && is_transitional(snapshot.accelerator_setup->state)) {
        return true;
    }
    return std::any_of(snapshot.models.begin(), snapshot.models.end(),
                       [](const InstalledLocalModel& model) { return is_transitional(model.phase); });
}

std::string_view fit_label(HardwareFit fit)
{
    switch (fit) {
        case HardwareFit::Excellent: return "Excellent fit";
        case HardwareFit::Good: return "Good fit";
        case HardwareFit::Tight: return "Will run, with limits";
        case HardwareFit::Unsupported: break;
    }
    return "Not enough memory";
}

bool may_install(const LocalModelSnapshot& snapshot)
{
    return snapshot.recommendation && snapshot.hardware.fit != HardwareFit::Unsupported &&
           (!snapshot.accelerator_setup || snapshot.accelerator_setup->state == AcceleratorState::Active);
}

// ---- The manager ---------------------------------------------------------------------------------------------------

ModelManagerBackend::ModelManagerBackend(std::shared_ptr<cmd_runner::Runner> runner)
    : ModelManagerBackend(std::move(runner), Options{})
{
}

ModelManagerBackend::ModelManagerBackend(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

Result<cmd_runner::Output> ModelManagerBackend::run(std::vector<std::string> args, std::chrono::milliseconds limit,
                                                    std::string_view refusal)
{
    const cmd_runner::Command command{.program = options_.program,
                                      .args = std::move(args),
                                      .time_limit = limit,
                                      .output_limit = cmd_runner::default_output_limit};
    auto out = runner_->run(command);
    if (!out) {
        return std::unexpected(fmt::format("model service is unavailable: {}", out.error().message));
    }
    if (!out->status.success()) {
        if (!refusal.empty()) {
            return std::unexpected(std::string(refusal));
        }
        std::string text = cmd_runner::clean_text(
            out->stderr_bytes, {.keep_newline = true, .keep_tab = true, .max_chars = stderr_chars, .trim = true});
        if (text.empty()) {
            // A refusal without a word still has to say something.
            text = fmt::format("{} ended with {}", options_.program, out->status.describe());
        }
        return std::unexpected(std::move(text));
    }
    return std::move(*out);
}

Result<LocalModelSnapshot> ModelManagerBackend::snapshot()
{
    auto out = run({"snapshot", "--format", "json"}, options_.snapshot_limit, {});
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    auto snapshot = decode_snapshot(out->stdout_bytes);
    if (!snapshot) {
        return std::unexpected(fmt::format("model service returned invalid status: {}", snapshot.error()));
    }
    return snapshot;
}

Status ModelManagerBackend::command(std::vector<std::string> args, std::chrono::milliseconds limit,
                                    std::string_view refusal)
{
    auto out = run(std::move(args), limit, refusal);
    return out ? Status{} : Status(std::unexpected(std::move(out.error())));
}

Status ModelManagerBackend::install(const LocalModelPackage& package)
{
    return command({"install", "--model", package.id, "--revision", package.revision, "--accept-license"},
                   options_.install_limit, "model service refused the installation");
}

Status ModelManagerBackend::lifecycle(std::string_view verb, std::string_view model_id)
{
    return command({std::string(verb), "--model", std::string(model_id)}, options_.lifecycle_limit,
                   fmt::format("model service refused {}", verb));
}

Status ModelManagerBackend::start(std::string_view model_id) { return lifecycle("start", model_id); }

Status ModelManagerBackend::stop(std::string_view model_id) { return lifecycle("stop", model_id); }

Status ModelManagerBackend::remove(std::string_view model_id) { return lifecycle("remove", model_id); }

Status ModelManagerBackend::stage_accelerator()
{
    return command({"stage-accelerator"}, options_.accelerator_limit, "accelerator setup service refused the request");
}

Result<LocalModelSnapshot> local_model_snapshot()
{
    return ModelManagerBackend().snapshot();
}

}  // namespace system_ops::local_models
