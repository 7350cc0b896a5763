#pragma once
// Local models: the Vorn model manager ("vorn-model-manager"), which matches this device's hardware to a signed
// model release, downloads, verifies, serves and removes local models, and stages the signed accelerator stack.
//
// Everything is learnt from and asked of the manager's command line, run through the bounded command runner with no
// standard input and a 1 MiB output cap:
//
//   snapshot --format json                                             10 s      the state below, as one JSON document
//   install --model ID --revision REV --accept-license                 1,800 s
//   start --model ID / stop --model ID / remove --model ID             600 s
//   stage-accelerator                                                  1,800 s
//
// Each call answers a value or one sentence for the user: "model service is unavailable: …" when the command could
// not run or hit a limit; for a non-zero exit the snapshot's cleaned standard error (at most 512 characters) and for
// the other commands a fixed refusal ("model service refused the installation", "model service refused start", …);
// "model service returned invalid status: …" when the snapshot does not decode.
//
// The snapshot is read strictly: unknown members are ignored, but a missing required member, a value of the wrong
// type or out of its range, or an unknown "state" fails the whole snapshot. Texts meant for the user (names,
// descriptions, messages) are cleaned on the way in; identifiers, revisions and endpoint addresses are kept exactly
// as the manager gave them, since they are passed back to it or compared.
//
// ModelManagerBackend keeps no state: it may be shared and called from any thread. Every call blocks its caller
// for up to its time limit, so pages call it from a worker.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/result.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace system_ops::local_models {

inline constexpr std::string_view manager_program = "vorn-model-manager";

// How well this device runs the recommended model, best first.
enum class HardwareFit : std::uint8_t { Excellent, Good, Tight, Unsupported };

struct HardwareRecommendation {
    HardwareFit fit = HardwareFit::Excellent;
    std::uint16_t memory_gib = 0;  // system memory
    std::string accelerator;       // a description of the accelerator
    std::optional<std::uint16_t> accelerator_memory_gib;
    std::optional<std::uint16_t> free_storage_gib;
    std::string reason;  // why the fit is what it is
    friend bool operator==(const HardwareRecommendation&, const HardwareRecommendation&) = default;
};

// A signed, pinned model release.
struct LocalModelPackage {
    std::string id;        // passed to the commands
    std::string name;      // the model's title
    std::string description;
    std::string source;    // where the snapshot is downloaded from
    std::string revision;  // the pinned revision passed to install
    std::string license;   // the licence's name
    std::string license_url;
    std::uint64_t download_bytes = 0;
    std::uint64_t installed_bytes = 0;
    bool vision = false;
    bool face_recognition = false;
    friend bool operator==(const LocalModelPackage&, const LocalModelPackage&) = default;
};

// Where a running model answers.
struct LocalModelEndpoint {
    std::string url;       // the address it serves on
    std::string model_id;  // the model name the server answers to
    friend bool operator==(const LocalModelEndpoint&, const LocalModelEndpoint&) = default;
};

// The phase of an installed model ("state" in the snapshot).
struct Downloading {
    std::uint64_t downloaded_bytes = 0;
    std::uint64_t total_bytes = 0;  // 0 when unknown
    friend bool operator==(const Downloading&, const Downloading&) = default;
};
struct Installing {
    std::optional<std::uint8_t> percent;
    std::string message;
    friend bool operator==(const Installing&, const Installing&) = default;
};
struct Ready {
    std::optional<LocalModelEndpoint> endpoint;
    bool running = false;
    friend bool operator==(const Ready&, const Ready&) = default;
};
struct Failed {
    std::string message;
    friend bool operator==(const Failed&, const Failed&) = default;
};
using LocalModelPhase = std::variant<Downloading, Installing, Ready, Failed>;

struct InstalledLocalModel {
    LocalModelPackage package;
    LocalModelPhase phase;
    friend bool operator==(const InstalledLocalModel&, const InstalledLocalModel&) = default;
};

// The signed accelerator stack matched to this device and how far its setup has come.
enum class AcceleratorState : std::uint8_t { Available, Queued, Staging, RestartRequired, Active, Error };

struct AcceleratorSetup {
    std::string boot_pack_id;  // the matched signed accelerator stack
    AcceleratorState state = AcceleratorState::Available;
    std::string message;  // what went wrong, in state Error; empty otherwise
    friend bool operator==(const AcceleratorSetup&, const AcceleratorSetup&) = default;
};

// What the manager reports. A default value is the empty snapshot: no recommendation, no models, no accelerator.
struct LocalModelSnapshot {
    HardwareRecommendation hardware;
    std::optional<LocalModelPackage> recommendation;
    std::vector<InstalledLocalModel> models;
    std::optional<AcceleratorSetup> accelerator_setup;

    [[nodiscard]] const InstalledLocalModel* find(std::string_view model_id) const;
    friend bool operator==(const LocalModelSnapshot&, const LocalModelSnapshot&) = default;
};

// Decodes the snapshot command's output (see the top of this file); the error is the decoder's message.
[[nodiscard]] Result<LocalModelSnapshot> decode_snapshot(std::string_view json);

// ---- Derived views -------------------------------------------------------------------------------------------------

// "Downloading", "Installing", "Ready" (not running), "Running", "Needs attention".
[[nodiscard]] std::string_view phase_label(const LocalModelPhase& phase);
// The fraction done: downloaded / total while downloading with a known total, percent / 100 while installing with a
// percent; at most 1. None otherwise.
[[nodiscard]] std::optional<double> progress(const LocalModelPhase& phase);
// Downloading and installing; queued and staging for the accelerator.
[[nodiscard]] bool is_transitional(const LocalModelPhase& phase);
[[nodiscard]] bool is_transitional(AcceleratorState state);
// Something in the snapshot is on its way: a model downloading or installing, or the accelerator queued or staging.
[[nodiscard]] bool has_transitional_phase(const LocalModelSnapshot& snapshot);
// "Excellent fit", "Good fit", "Will run, with limits", "Not enough memory".
[[nodiscard]] std::string_view fit_label(HardwareFit fit);
// Whether setting up the recommended model may start now: there is one, the device is not unsupported, and the
// accelerator needs no setup or is active.
[[nodiscard]] bool may_install(const LocalModelSnapshot& snapshot);

// ---- The manager ---------------------------------------------------------------------------------------------------

class LocalModelBackend {
public:
    virtual ~LocalModelBackend() = default;
    [[nodiscard]] virtual Result<LocalModelSnapshot> snapshot() = 0;
    // Installs (or resumes installing) the package at its pinned revision, accepting its licence.
    [[nodiscard]] virtual Status install(const LocalModelPackage& package) = 0;
    [[nodiscard]] virtual Status start(std::string_view model_id) = 0;
    [[nodiscard]] virtual Status stop(std::string_view model_id) = 0;
    [[nodiscard]] virtual Status remove(std::string_view model_id) = 0;
    [[nodiscard]] virtual Status stage_accelerator() = 0;
};

class ModelManagerBackend final : public LocalModelBackend {
public:
    struct Options {
        std::string program = std::string(manager_program);
        std::chrono::milliseconds snapshot_limit = std::chrono::seconds(10);
        std::chrono::milliseconds install_limit = std::chrono::seconds(1800);
        std::chrono::milliseconds lifecycle_limit = std::chrono::seconds(600);  // start, stop, remove
        std::chrono::milliseconds accelerator_limit = std::chrono::seconds(1800);
    };

    explicit ModelManagerBackend(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    ModelManagerBackend(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<LocalModelSnapshot> snapshot() override;
    Status install(const LocalModelPackage& package) override;
    Status start(std::string_view model_id) override;
    Status stop(std::string_view model_id) override;
    Status remove(std::string_view model_id) override;
    Status stage_accelerator() override;

private:
    // Runs the manager; the output when it exits with 0, else the sentence (`refusal` for a non-zero exit, or the
    // cleaned standard error when `refusal` is empty).
    Result<cmd_runner::Output> run(std::vector<std::string> args, std::chrono::milliseconds limit,
                                   std::string_view refusal);
    // A command whose output is not read.
    Status command(std::vector<std::string> args, std::chrono::milliseconds limit, std::string_view refusal);
    // "start", "stop" or "remove" of one model.
    Status lifecycle(std::string_view verb, std::string_view model_id);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// The snapshot of the manager on PATH (one run of the snapshot command).
[[nodiscard]] Result<LocalModelSnapshot> local_model_snapshot();

}  // namespace system_ops::local_models
