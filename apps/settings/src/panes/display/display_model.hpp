#pragma once
// What the Displays page keeps and decides, apart from its widgets: the outputs, the panel brightness with its probe
// and apply workers, automatic brightness, Night Light and its warmth, the global scale, the per-output controls
// staged into a layout, and the confirmed apply of that layout as a display transaction the compositor runs.
//
// Document keys: "display.brightness" (f64, 0 to 1), "display.auto_brightness", "display.night_light" (bools),
// "display.night_light_temperature" and "display.scale" (labels), the triggers "display.apply", "display.keep",
// "display.revert", and per output "display.output.<connector>.<field>" (output_control_id) with the fields
// enabled, primary, scale, position, mirror, mode, transform, hdr, vrr, color_profile.
//
// Between operations of an attached page the output controls show the staged layout when there is one (else the
// layout in force), so that a later change adds to what is staged and one that sets everything back drops it.
//
// The page calls sync() from its own sync with the working document and what the application's cells say; sync
// answers the outcomes to publish. Each outcome carries the operation key it belongs to (the whole request text,
// kind ":" JSON), captured when the work for it began, so that a late answer never finishes another operation; an
// outcome with an empty key belongs to a control change and is not published. Every operation the page takes ends
// with exactly one outcome, also when it asks for what is already in effect.
//
//   auto model = DisplayModel::create(DisplayModel::system_backend());
//   auto outcomes = model.sync(doc, {.attached = true, .running_key = key, .taken = operation});
//   for (auto& o : outcomes) finish_operation_for_key(o.key, o.failed, o.sentence);

#include "actions/payloads/display.hpp"
#include "config_sections/display_config.hpp"
#include "config_sections/display_hardware.hpp"
#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace settings::panes::display {

using config_sections::hardware::DisplayConfig;
using config_sections::hardware::DisplayHardwareSnapshot;
using config_sections::hardware::DisplayTransaction;
using config_sections::hardware::OutputConfig;
using config_sections::hardware::OutputDescriptor;
using config_sections::hardware::OutputMode;

inline constexpr std::string_view kBrightnessKey = "display.brightness";
inline constexpr std::string_view kAutoBrightnessKey = "display.auto_brightness";
inline constexpr std::string_view kNightLightKey = "display.night_light";
inline constexpr std::string_view kWarmthKey = "display.night_light_temperature";
inline constexpr std::string_view kScaleKey = "display.scale";
inline constexpr std::string_view kApplyKey = "display.apply";
inline constexpr std::string_view kKeepKey = "display.keep";
inline constexpr std::string_view kRevertKey = "display.revert";
// Said when no display service takes a requested layout within the answer time.
inline constexpr std::string_view kNoServiceSentence =
    "No display service answered; the display layout was not changed.";

// ---- Output rows ---------------------------------------------------------------------------------------------------

// One output of the display hardware snapshot, with the label the page shows and stores.
struct OutputRow {
    std::string label;  // labels::output_label
    OutputDescriptor output;

    [[nodiscard]] const std::string& connector() const { return output.connector; }
    friend bool operator==(const OutputRow&, const OutputRow&) = default;
};

// One row per output, built-in panels first, then by label in byte order (stable).
[[nodiscard]] std::vector<OutputRow> output_rows(const DisplayHardwareSnapshot& snapshot);
// The rows of DisplayHardwareSnapshot::load(); none when it fails.
[[nodiscard]] std::vector<OutputRow> load_display_snapshot();

// "display.output.<connector>.<field>".
[[nodiscard]] std::string output_control_id(std::string_view connector, std::string_view field);

// ---- Transaction card ----------------------------------------------------------------------------------------------

// What the last card of the page shows for the current transaction.
struct TransactionCard {
    enum class Kind : std::uint8_t {
        Staged,     // "Apply display changes" with the Apply button
        Idle,       // "Display configuration": nothing to apply
        Applying,   // "Applying display configuration"
        Confirm,    // "Keep this display configuration?" with Keep and Revert now
        Rejected,   // "Display change was not applied", with Try again when a layout is staged (also a request
                    // withdrawn because no display service answered)
    };
    Kind kind = Kind::Idle;
    std::string title;
    std::string caption;
    std::uint64_t seconds = 0;  // Confirm: whole seconds left
    bool try_again = false;     // Rejected: a staged layout can be applied

    friend bool operator==(const TransactionCard&, const TransactionCard&) = default;
};

// ceil((deadline - now) / 1000), 0 when the deadline has passed or is absent.
[[nodiscard]] std::uint64_t seconds_left(std::optional<std::uint64_t> deadline_unix_ms, std::uint64_t now_unix_ms);
[[nodiscard]] TransactionCard transaction_card(const std::optional<DisplayTransaction>& transaction, bool staged,
                                               std::uint64_t now_unix_ms);

// ---- The model -----------------------------------------------------------------------------------------------------

// An outcome for the operation-status cell: published only while the operation with `key` runs.
struct Outcome {
    std::string key;
    bool failed = false;
    std::string sentence;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

class DisplayModel {
public:
    // Everything the model reaches outside itself; system_backend() gives the real one.
    struct Backend {
        std::function<system_ops::Result<float>()> get_brightness;      // probe thread
        std::function<bool()> has_ambient_light_sensor;                  // probe thread
        std::function<system_ops::Status(float percent)> set_brightness;  // apply thread (or the sync without one)
        // Changes the "display" section of the settings file (load, change, save).
        std::function<std::expected<void, std::string>(const std::function<void(prefs::DisplayPrefs&)>&)>
            save_prefs;
        std::function<prefs::DisplayPrefs()> load_prefs;
        std::function<std::uint64_t()> unix_ms;
        std::function<std::chrono::steady_clock::time_point()> now;
        // Starts a display service when the session has none (after a transaction was requested).
        std::function<void()> ensure_display_service;
        // How long a requested transaction may wait for a compositor to take it.
        std::chrono::milliseconds service_answer_time = std::chrono::seconds(5);
    };
    [[nodiscard]] static Backend system_backend();

    // The page's model from the machine: starts the "settings-display-probe" and "settings-brightness-apply" threads
    // (unless `workers` is false: then the level stays 0.5 until set_probe_answer and brightness goes straight to
    // the backend), loads the rows, the preferences and the active layout.
    [[nodiscard]] static DisplayModel create(Backend backend, bool workers = true);
    // Fixed sample state: one built-in 1920 × 1080 output "eDP-1", a sensor, the given level, no workers.
    [[nodiscard]] static DisplayModel fixture(Backend backend, float level);

    DisplayModel(DisplayModel&&) noexcept;
    DisplayModel& operator=(DisplayModel&&) noexcept;
    ~DisplayModel();  // closes the apply thread's channel: the thread ends after its current request

    // What the page's cells say in this sync.
    struct SyncInput {
        bool attached = false;                           // the application's status cell is attached
        std::optional<std::string> running_key;          // the status cell runs this operation
        std::optional<actions::DisplayOperation> taken;  // the request the page took from its request cell
    };
    // One sync: worker answers, the snapshot watch, the document refresh, the operation, the handlers, staging and
    // the transaction watch, in that order. Answers the outcomes to publish.
    [[nodiscard]] std::vector<Outcome> sync(page_doc::Document& doc, const SyncInput& input);

    // Writes an operation into the document (after resetting it from state). A trigger (Apply, Confirm, Revert) is
    // written once per operation key.
    void write_control_state(page_doc::Document& doc, const actions::DisplayOperation& operation,
                             std::string_view key);
    // The per-output keys from a layout ("position" and "mirror" are left as they are).
    void write_output_controls(page_doc::Document& doc, const DisplayConfig& config) const;

    // The probe's answer, for a model without workers.
    void set_probe_answer(float level, bool sensor);

    [[nodiscard]] const std::vector<OutputRow>& rows() const { return rows_; }
    [[nodiscard]] const DisplayConfig& active() const { return active_; }
    [[nodiscard]] const std::optional<DisplayConfig>& staged() const { return staged_; }
    [[nodiscard]] float shown_level() const { return shown_level_; }
    [[nodiscard]] bool ambient_light_sensor() const { return sensor_; }
    [[nodiscard]] const prefs::DisplayPrefs& loaded_prefs() const { return loaded_prefs_; }
    [[nodiscard]] const prefs::DisplayPrefs& applied_prefs() const { return applied_prefs_; }
    [[nodiscard]] bool brightness_in_flight() const { return in_flight_; }
    // The key of the operation the page took and has not answered yet (empty when none).
    [[nodiscard]] std::string unanswered_operation() const;
    // The sensor probe has not answered yet.
    [[nodiscard]] bool probe_pending() const;
    // The active entry of a row, or the one the page shows for a row without an entry.
    [[nodiscard]] OutputConfig shown_entry(std::size_t row) const;
    [[nodiscard]] TransactionCard card() const;
    // The view must be built again (probe answer, snapshot change, transaction end); cleared by the call.
    [[nodiscard]] bool take_view_dirty() { return std::exchange(view_dirty_, false); }

private:
    struct Workers;
    struct Served;
    struct Awaiting;

    explicit DisplayModel(Backend backend);

    void reset_from_state(page_doc::Document& doc);
    void refresh_document(page_doc::Document& doc);
    void handle_brightness(page_doc::Document& doc, const std::string& key);
    void handle_display_prefs(page_doc::Document& doc, const std::string& key, bool full);
    void stage_layout(page_doc::Document& doc, const std::string& key);
    void handle_transaction(page_doc::Document& doc, const std::string& key);
    void watch_snapshot();
    void end_transaction_view(page_doc::Document& doc);
    void emit(const std::string& key, bool failed, std::string sentence);
    [[nodiscard]] bool pending_for(const std::string& key) const;
    [[nodiscard]] std::string already_in_effect(const actions::DisplayOperation& operation) const;

    Backend backend_;
    std::unique_ptr<Workers> workers_;
    std::vector<OutputRow> rows_;
    DisplayConfig active_;
    std::optional<DisplayConfig> staged_;
    prefs::DisplayPrefs loaded_prefs_;
    prefs::DisplayPrefs applied_prefs_;
    std::optional<std::pair<std::uint64_t, std::uint8_t>> last_transaction_;
    std::chrono::steady_clock::time_point snapshot_polled_at_;
    std::optional<std::filesystem::file_time_type> snapshot_modified_;
    bool refresh_document_ = true;
    bool view_dirty_ = true;

    bool in_flight_ = false;
    float level_before_request_ = 0.5F;
    float requested_level_ = 0.5F;
    std::string brightness_key_;  // the operation a brightness request in flight answers
    float probed_level_ = 0.5F;
    float shown_level_ = 0.5F;
    bool sensor_ = false;
    bool sensor_known_ = false;
    std::optional<std::string> auto_brightness_waiting_;  // an operation waiting for the probe's answer

    std::unique_ptr<Served> served_;      // the operation this page performs now
    std::unique_ptr<Awaiting> awaiting_;  // the transaction an operation waits for
    std::string triggers_written_for_;
    std::vector<Outcome> outcomes_;
};

}  // namespace settings::panes::display
