#pragma once
// The output layout and its confirmed apply, as the settings store shares them with the desktop's compositor.
//
// Three files in the session's runtime folder, "$XDG_RUNTIME_DIR/vorn/display/":
//   config.json       the layout the compositor runs now (DisplayConfig); written by the compositor
//   transaction.json  the one display transaction (DisplayTransaction): Settings asks for a layout, the compositor
//                     applies it, waits for keep or revert until the deadline and restores the previous layout by
//                     itself when nobody keeps it; both sides change it under its lock ("transaction.json.lock")
//   snapshot.json     the outputs the compositor drives, with their modes and capabilities (see
//                     display_hardware.hpp); written by the compositor
// Every file is written whole and atomically. A compositor holds "service.lock" (an flock) while it serves the
// files, so that Settings can tell whether one is there.
//
//   auto tx = DisplayTransaction::request(staged);     // state Requested; the compositor takes it from here
//   ... DisplayTransaction::load() shows Applying, then AwaitingConfirmation with a deadline
//   tx->request_confirmation();                        // or request_revert(); the compositor ends it: Kept/Reverted

#include "config_sections/hardware.hpp"

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace config_sections::hardware {

// ---- Files ---------------------------------------------------------------------------------------------------------

// "$XDG_RUNTIME_DIR/vorn/display"; the error "no runtime folder (XDG_RUNTIME_DIR is not set)" without one.
[[nodiscard]] std::expected<std::filesystem::path, std::string> display_runtime_dir();
[[nodiscard]] std::expected<std::filesystem::path, std::string> display_config_path();
[[nodiscard]] std::expected<std::filesystem::path, std::string> display_transaction_path();
[[nodiscard]] std::expected<std::filesystem::path, std::string> display_snapshot_path();
[[nodiscard]] std::expected<std::filesystem::path, std::string> display_service_lock_path();

// Now in milliseconds since the Unix epoch.
[[nodiscard]] std::uint64_t unix_ms();

// ---- Layout --------------------------------------------------------------------------------------------------------

// The scale factors an output may run at.
inline constexpr std::array<double, 5> kOutputScales{1.0, 1.25, 1.5, 1.75, 2.0};

// One output of a layout.
struct OutputConfig {
    bool enabled = true;
    bool primary = false;
    double scale = 1.0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::optional<std::string> mirror;  // connector of the output this one copies
    std::optional<OutputMode> mode;     // none: the compositor keeps the current or preferred mode
    std::uint8_t transform = 0;         // rotation index: 0 normal, 1 90°, 2 180°, 3 270° (clockwise)
    bool hdr = false;
    bool vrr = false;
    std::optional<std::string> color_profile;

    friend bool operator==(const OutputConfig&, const OutputConfig&) = default;
};

// What an output can do, for validation (from the display hardware snapshot).
struct OutputCapabilities {
    std::string connector;
    std::string name;  // how sentences name the output
    std::vector<OutputMode> modes;
    std::vector<std::string> color_profiles;
    bool hdr_supported = false;
    bool vrr_supported = false;

    [[nodiscard]] static OutputCapabilities of(const OutputDescriptor& output);
    friend bool operator==(const OutputCapabilities&, const OutputCapabilities&) = default;
};

// A layout: one entry per output, by connector (iterated in connector order).
struct DisplayConfig {
    std::map<std::string, OutputConfig> outputs;

    // The layout the compositor runs (config.json). Without a runtime folder or file, or with a damaged file (kept
    // aside and logged), the empty layout.
    [[nodiscard]] static DisplayConfig load();
    // The layout in a file: none when it does not exist; an error when it cannot be read or is damaged.
    [[nodiscard]] static std::expected<std::optional<DisplayConfig>, std::string> load_from(
        const std::filesystem::path& path);
    // Writes config.json (the compositor's side).
    [[nodiscard]] std::expected<void, std::string> save() const;
    [[nodiscard]] std::expected<void, std::string> save_to(const std::filesystem::path& path) const;

    // Whether a compositor can run this layout on these outputs; the error is one sentence without a final full
    // stop ("at least one display must stay on"). An entry of an output missing from `outputs` is refused when it
    // is on and ignored when it is off (a display unplugged since the layout was made).
    [[nodiscard]] std::expected<void, std::string> validate_for(std::span<const OutputCapabilities> outputs) const;

    friend bool operator==(const DisplayConfig&, const DisplayConfig&) = default;
};

void to_json(Json& j, const OutputConfig& value);
json_text::Status read_value(const Json& v, OutputConfig& out);
void to_json(Json& j, const DisplayConfig& value);
json_text::Status read_value(const Json& v, DisplayConfig& out);

// ---- Transaction ---------------------------------------------------------------------------------------------------

// The states of a display transaction, by their stored number.
enum class TransactionState : std::uint8_t {
    Requested = 0,             // Settings asked for the layout; no compositor has taken it yet
    AwaitingConfirmation = 1,  // applied; kept or reverted by the user, restored at the deadline
    Validating = 2,            // a compositor took it and checks it
    Applying = 3,              // the compositor switches the outputs
    Kept = 4,                  // the new layout stays (terminal)
    Reverted = 5,              // the previous layout is back (terminal)
    Rejected = 6,              // the compositor refused the layout; the message says why (terminal)
    Withdrawn = 7,             // Settings took the request back before any compositor took it (terminal)
};

[[nodiscard]] std::string_view state_name(std::uint8_t state);  // "requested", ... "withdrawn", "unknown"

struct DisplayTransaction {
    std::optional<std::uint64_t> confirm_deadline_unix_ms;  // set while AwaitingConfirmation
    std::uint64_t id = 0;
    std::uint8_t state = 0;  // a TransactionState (later versions may add states: 8 and above end it too)
    std::optional<std::string> message;
    DisplayConfig config;                   // the layout asked for
    std::optional<DisplayConfig> previous;  // the layout to restore; recorded by the compositor when it applies
    std::uint64_t requested_unix_ms = 0;
    bool keep_requested = false;
    bool revert_requested = false;

    // Still in the compositor's hands (Requested, Validating, Applying, AwaitingConfirmation).
    [[nodiscard]] bool pending() const { return state <= 3; }

    // Asks the compositor for `config`: a new transaction (its id above every earlier one) in state Requested.
    // Refused while another one is pending: "another display change is still being applied or tested".
    [[nodiscard]] static std::expected<DisplayTransaction, std::string> request(const DisplayConfig& config);
    // The current transaction; none when there is none (or the file is damaged: logged).
    [[nodiscard]] static std::optional<DisplayTransaction> load();

    // Asks the compositor to keep (or to restore the previous layout of) this transaction. Refused when the
    // transaction has ended ("the display change has already ended") or was replaced ("the display change is no
    // longer current"). Asking again for the same thing does no harm.
    [[nodiscard]] std::expected<void, std::string> request_confirmation() const;
    [[nodiscard]] std::expected<void, std::string> request_revert() const;
    // Takes the request back while no compositor has taken it (state Requested): it ends as Withdrawn with the
    // message. Answers false when a compositor took it first (or it is no longer current).
    [[nodiscard]] std::expected<bool, std::string> withdraw(std::string_view message) const;

    friend bool operator==(const DisplayTransaction&, const DisplayTransaction&) = default;
};

void to_json(Json& j, const DisplayTransaction& value);
json_text::Status read_value(const Json& v, DisplayTransaction& out);

// The compositor's side: reads the transaction file, lets `change` edit the transaction (none when there is none or
// the file was damaged; setting none removes it) and writes it back, all under the file's lock.
[[nodiscard]] std::expected<void, std::string> update_display_transaction(
    const std::function<void(std::optional<DisplayTransaction>&)>& change);

}  // namespace config_sections::hardware
