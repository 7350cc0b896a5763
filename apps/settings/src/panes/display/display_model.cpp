#include "panes/display/display_model.hpp"

#include "actions/payloads/codec.hpp"
#include "display_service/service.hpp"
#include "panes/display/labels/labels.hpp"
#include "prefs/settings_file.hpp"
#include "system_ops/display.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <variant>

#include <pthread.h>

namespace settings::panes::display {
namespace {

namespace hw = config_sections::hardware;
using actions::DisplayOperation;
using Op = DisplayOperation;

constexpr std::string_view kKind = DisplayOperation::kind;

// A channel between the page and one worker thread: any number of messages, closed by either side.
template <class T>
class Channel {
public:
    // Queues a message; false when the receiving side is gone.
    bool send(T value)
    {
        {
            const std::lock_guard lock(mutex_);
            if (receiver_gone_) {
                return false;
            }
            queue_.push_back(std::move(value));
        }
        ready_.notify_one();
        return true;
    }
    // One message without waiting; none when the queue is empty (disconnected() tells why).
    std::optional<T> try_receive()
    {
        const std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return std::nullopt;
        }
        T value = std::move(queue_.front());
        queue_.pop_front();
        return value;
    }
    // Waits for a message; none once the sending side is gone and the queue is empty.
    std::optional<T> receive()
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !queue_.empty() || sender_gone_; });
        if (queue_.empty()) {
            return std::nullopt;
        }
        T value = std::move(queue_.front());
        queue_.pop_front();
        return value;
    }
    [[nodiscard]] bool disconnected()
    {
        const std::lock_guard lock(mutex_);
        return queue_.empty() && sender_gone_;
    }
    void close_sender()
    {
        {
            const std::lock_guard lock(mutex_);
            sender_gone_ = true;
        }
        ready_.notify_all();
    }
    void close_receiver()
    {
        const std::lock_guard lock(mutex_);
        receiver_gone_ = true;
        queue_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> queue_;
    bool sender_gone_ = false;
    bool receiver_gone_ = false;
};

struct ProbeAnswer {
    float level = 0.5F;
    bool sensor = false;
};
using ApplyAnswer = std::expected<float, std::string>;

void name_thread(const char* name) { pthread_setname_np(pthread_self(), name); }

long rounded_percent(float level) { return std::lround(level * 100.0F); }

std::string percent_text(float percent) { return fmt::format("{}", std::lround(percent)); }

bool is_staged_variant(const DisplayOperation& op)
{
    // SetPrimary (5) to SetColorProfile (17): the per-output variants.
    const auto index = op.value.index();
    return index >= 5 && index <= 17;
}

std::string_view on_off(bool on) { return on ? "on" : "off"; }

// The entry a row without one is shown with.
OutputConfig default_shown_entry(std::size_t row)
{
    return {.enabled = true, .primary = row == 0};
}

std::vector<labels::NamedOutput> named_rows(const std::vector<OutputRow>& rows)
{
    std::vector<labels::NamedOutput> named;
    named.reserve(rows.size());
    for (const auto& row : rows) {
        named.push_back({row.connector(), row.label});
    }
    return named;
}

std::string color_profile_text(const OutputRow& row, const std::optional<std::string>& profile)
{
    if (!profile) {
        return std::string(labels::kSystemDefaultProfile);
    }
    return labels::color_profile_label(row.output, *profile).value_or(std::string(labels::kSystemDefaultProfile));
}

}  // namespace

// ---- Rows and card -------------------------------------------------------------------------------------------------

std::vector<OutputRow> output_rows(const DisplayHardwareSnapshot& snapshot)
{
    std::vector<OutputRow> rows;
    rows.reserve(snapshot.outputs.size());
    for (const auto& output : snapshot.outputs) {
        rows.push_back({labels::output_label(output), output});
    }
    std::ranges::stable_sort(rows, [](const OutputRow& l, const OutputRow& r) {
        if (l.output.built_in != r.output.built_in) {
            return l.output.built_in;
        }
        return l.label < r.label;
    });
    return rows;
}

std::vector<OutputRow> load_display_snapshot()
{
    auto snapshot = DisplayHardwareSnapshot::load();
    if (!snapshot) {
        return {};
    }
    return output_rows(*snapshot);
}

std::string output_control_id(std::string_view connector, std::string_view field)
{
    return fmt::format("display.output.{}.{}", connector, field);
}

std::uint64_t seconds_left(std::optional<std::uint64_t> deadline, std::uint64_t now)
{
    if (!deadline || *deadline <= now) {
        return 0;
    }
    return (*deadline - now + 999) / 1000;
}

TransactionCard transaction_card(const std::optional<DisplayTransaction>& tx, bool staged, std::uint64_t now)
{
    TransactionCard card;
    const std::uint8_t state = tx ? tx->state : 4;
    if (state == 0 || state == 2 || state == 3) {
        card.kind = TransactionCard::Kind::Applying;
        card.title = "Applying display configuration";
        card.caption = tx->message.value_or("The compositor is validating and applying the output plan\u2026");
    } else if (state == 1) {
        card.kind = TransactionCard::Kind::Confirm;
        card.title = "Keep this display configuration?";
        card.seconds = seconds_left(tx->confirm_deadline_unix_ms, now);
        card.caption = fmt::format("Every display should be visible. Restoring the previous layout in {} seconds "
                                   "unless you keep this one.",
                                   card.seconds);
    } else if (state == 6) {
        card.kind = TransactionCard::Kind::Rejected;
        card.title = "Display change was not applied";
        card.caption = tx->message.value_or("The compositor rejected this output plan.");
        card.try_again = staged;
    } else if (state == static_cast<std::uint8_t>(hw::TransactionState::Withdrawn) && tx->message) {
        // Taken back because nobody served it: the page says so rather than look as if nothing happened.
        card.kind = TransactionCard::Kind::Rejected;
        card.title = "Display change was not applied";
        card.caption = *tx->message;
        card.try_again = staged;
    } else if (staged) {
        card.kind = TransactionCard::Kind::Staged;
        card.title = "Apply display changes";
        card.caption = "The layout is staged, not active. Applying it starts a 15-second safety test; closing "
                       "Settings cannot cancel the automatic restore.";
    } else {
        card.kind = TransactionCard::Kind::Idle;
        card.title = "Display configuration";
        card.caption = "No unapplied display changes.";
    }
    return card;
}

// ---- Model ---------------------------------------------------------------------------------------------------------

struct DisplayModel::Workers {
    std::shared_ptr<Channel<ProbeAnswer>> probe;    // the probe thread's one answer
    std::shared_ptr<Channel<float>> requests;       // percents to the apply thread
    std::shared_ptr<Channel<ApplyAnswer>> answers;  // its answers
    bool probe_open = true;

    ~Workers()
    {
        if (requests) {
            requests->close_sender();
        }
        if (answers) {
            answers->close_receiver();
        }
        if (probe) {
            probe->close_receiver();
        }
    }
};

struct DisplayModel::Served {
    std::string key;
    DisplayOperation operation;
    bool answered = false;
};

struct DisplayModel::Awaiting {
    std::string key;
    std::uint64_t id = 0;
    std::chrono::steady_clock::time_point requested_at;
    bool requested_here = false;  // this page asked for the transaction (it may be withdrawn)
};

DisplayModel::Backend DisplayModel::system_backend()
{
    return {
        .get_brightness = [] { return system_ops::display::get_brightness(); },
        .has_ambient_light_sensor = [] { return system_ops::display::has_ambient_light_sensor(); },
        .set_brightness = [](float percent) { return system_ops::display::set_brightness(percent); },
        .save_prefs =
            [](const std::function<void(prefs::DisplayPrefs&)>& change) -> std::expected<void, std::string> {
            auto file = prefs::load_settings_file();
            change(file.display);
            auto saved = prefs::save_settings_file(file);
            if (!saved) {
                return std::unexpected(saved.error());
            }
            return {};
        },
        .load_prefs = [] { return prefs::load_settings_file().display; },
        .unix_ms = [] { return hw::unix_ms(); },
        .now = [] { return std::chrono::steady_clock::now(); },
        .ensure_display_service =
            [] {
                if (auto started = display_service::ensure_display_service(); !started) {
                    VORN_INFO("display_pane", "no display service started: {}", started.error());
                }
            },
    };
}

DisplayModel::DisplayModel(Backend backend) : backend_(std::move(backend)) {}
DisplayModel::DisplayModel(DisplayModel&&) noexcept = default;
DisplayModel& DisplayModel::operator=(DisplayModel&&) noexcept = default;
DisplayModel::~DisplayModel() = default;

DisplayModel DisplayModel::create(Backend backend, bool workers)
{
    DisplayModel model(std::move(backend));
    if (workers) {
        model.workers_ = std::make_unique<Workers>();
        auto& w = *model.workers_;
        w.probe = std::make_shared<Channel<ProbeAnswer>>();
        w.requests = std::make_shared<Channel<float>>();
        w.answers = std::make_shared<Channel<ApplyAnswer>>();
        std::thread([probe = w.probe, get = model.backend_.get_brightness,
                     sensor = model.backend_.has_ambient_light_sensor] {
            name_thread("settings-display-probe");
            auto level = get();
            ProbeAnswer answer{.level = level ? *level : 0.5F, .sensor = sensor()};
            probe->send(answer);
            probe->close_sender();
        }).detach();
        std::thread([requests = w.requests, answers = w.answers, set = model.backend_.set_brightness] {
            name_thread("settings-brightness-apply");
            while (auto percent = requests->receive()) {
                auto done = set(*percent);
                (void)answers->send(done ? ApplyAnswer(*percent / 100.0F) : std::unexpected(done.error()));
            }
        }).detach();
    }
    model.rows_ = load_display_snapshot();
    model.loaded_prefs_ = model.backend_.load_prefs();
    model.active_ = DisplayConfig::load();
    model.snapshot_polled_at_ = model.backend_.now();
    if (auto path = hw::display_snapshot_path()) {
        std::error_code ec;
        auto modified = std::filesystem::last_write_time(*path, ec);
        if (!ec) {
            model.snapshot_modified_ = modified;
        }
    }
    model.applied_prefs_ = {.auto_brightness = false, .night_light = false, .night_light_temperature = 3700,
                            .scale = 1.0};
    return model;
}

DisplayModel DisplayModel::fixture(Backend backend, float level)
{
    DisplayModel model(std::move(backend));
    OutputDescriptor panel;
    panel.connector = "eDP-1";
    panel.name = "eDP-1";
    panel.built_in = true;
    panel.enabled = true;
    panel.modes = {{1920, 1080, 60000}};
    panel.current_mode = {1920, 1080, 60000};
    model.rows_ = {{labels::output_label(panel), panel}};
    model.loaded_prefs_ = {.scale = 1.0};
    model.applied_prefs_ = {.night_light_temperature = 3700, .scale = 1.0};
    model.sensor_ = true;
    model.sensor_known_ = true;
    model.probed_level_ = level;
    model.shown_level_ = level;
    model.snapshot_polled_at_ = model.backend_.now();
    return model;
}

void DisplayModel::set_probe_answer(float level, bool sensor)
{
    sensor_ = sensor;
    sensor_known_ = true;
    probed_level_ = level;
    shown_level_ = level;
    view_dirty_ = true;
}

OutputConfig DisplayModel::shown_entry(std::size_t row) const
{
    const auto it = active_.outputs.find(rows_.at(row).connector());
    return it != active_.outputs.end() ? it->second : default_shown_entry(row);
}

std::string DisplayModel::unanswered_operation() const
{
    return served_ && !served_->answered ? served_->key : std::string();
}

bool DisplayModel::probe_pending() const { return workers_ && workers_->probe_open; }

TransactionCard DisplayModel::card() const
{
    return transaction_card(DisplayTransaction::load(), staged_.has_value(), backend_.unix_ms());
}

void DisplayModel::emit(const std::string& key, bool failed, std::string sentence)
{
    if (served_ && served_->key == key && !key.empty()) {
        if (served_->answered) {
            return;  // one outcome per operation
        }
        served_->answered = true;
    }
    outcomes_.push_back({key, failed, std::move(sentence)});
}

bool DisplayModel::pending_for(const std::string& key) const
{
    return (in_flight_ && brightness_key_ == key) || (awaiting_ && awaiting_->key == key) ||
           auto_brightness_waiting_ == key;
}

// ---- Document ------------------------------------------------------------------------------------------------------

void DisplayModel::write_output_controls(page_doc::Document& doc, const DisplayConfig& config) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const OutputRow& row = rows_[i];
        const auto it = config.outputs.find(row.connector());
        const OutputConfig entry = it != config.outputs.end() ? it->second : default_shown_entry(i);
        const auto key = [&](std::string_view field) { return output_control_id(row.connector(), field); };
        doc.put_bool(key("enabled"), entry.enabled);
        doc.put_bool(key("primary"), entry.primary);
        doc.put_str(key("scale"), labels::display_scale_label(entry.scale));
        doc.put_str(key("transform"), labels::orientation_label(entry.transform));
        doc.put_bool(key("hdr"), entry.hdr);
        doc.put_bool(key("vrr"), entry.vrr);
        doc.put_str(key("color_profile"), color_profile_text(row, entry.color_profile));
        doc.put_str(key("mode"), entry.mode.value_or(row.output.current_mode).label());
    }
}

void DisplayModel::reset_from_state(page_doc::Document& doc)
{
    // A staged layout is what the output controls show until it is applied or dropped.
    write_output_controls(doc, staged_ ? *staged_ : active_);
    doc.put_f64(kBrightnessKey, shown_level_);
    doc.put_bool(kAutoBrightnessKey, applied_prefs_.auto_brightness);
    doc.put_str(kScaleKey, labels::display_scale_label(applied_prefs_.scale));
    for (const auto trigger : {kApplyKey, kKeepKey, kRevertKey}) {
        doc.put_bool(trigger, false);
    }
}

void DisplayModel::refresh_document(page_doc::Document& doc)
{
    doc.put_f64(kBrightnessKey, probed_level_);
    doc.put_bool(kAutoBrightnessKey, loaded_prefs_.auto_brightness);
    doc.put_bool(kNightLightKey, loaded_prefs_.night_light);
    doc.put_str(kWarmthKey, labels::night_light_warmth_label(loaded_prefs_.night_light_temperature));
    doc.put_str(kScaleKey, labels::display_scale_label(loaded_prefs_.scale));
    for (const auto trigger : {kApplyKey, kKeepKey, kRevertKey}) {
        doc.put_bool(trigger, false);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const OutputRow& row = rows_[i];
        auto [it, inserted] = active_.outputs.try_emplace(row.connector());
        if (inserted) {
            it->second = {.enabled = true, .primary = i == 0, .x = static_cast<std::int32_t>(1920 * i)};
        }
        const OutputConfig& entry = it->second;
        const auto key = [&](std::string_view field) { return output_control_id(row.connector(), field); };
        doc.put_bool(key("enabled"), entry.enabled);
        doc.put_bool(key("primary"), entry.primary);
        doc.put_str(key("scale"), labels::display_scale_label(entry.scale));
        doc.put_str(key("position"), labels::kAutomaticPosition);
        std::string mirror(labels::kExtendWorkspace);
        if (entry.mirror) {
            const auto target = std::ranges::find(rows_, *entry.mirror, &OutputRow::connector);
            if (target != rows_.end()) {
                mirror = "Mirror " + target->label;
            }
        }
        doc.put_str(key("mirror"), mirror);
        if (entry.mode) {
            doc.put_str(key("mode"), entry.mode->label());
        }
        doc.put_str(key("transform"), labels::orientation_label(entry.transform));
        doc.put_bool(key("hdr"), entry.hdr);
        doc.put_bool(key("vrr"), entry.vrr);
        doc.put_str(key("color_profile"), color_profile_text(row, entry.color_profile));
    }
    applied_prefs_ = loaded_prefs_;
    refresh_document_ = false;
}

void DisplayModel::write_control_state(page_doc::Document& doc, const DisplayOperation& operation,
                                       std::string_view key)
{
    reset_from_state(doc);
    const auto output = [](const std::string& connector, std::string_view field) {
        return output_control_id(connector, field);
    };
    const auto trigger = [&](std::string_view name) {
        // A trigger acts once per operation, however often the running operation is written again.
        if (key.empty() || triggers_written_for_ != key) {
            doc.put_bool(name, true);
            triggers_written_for_ = std::string(key);
        }
    };
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, Op::SetBrightness>) {
                doc.put_f64(kBrightnessKey, v.value);
            } else if constexpr (std::is_same_v<V, Op::SetAutoBrightness>) {
                doc.put_bool(kAutoBrightnessKey, v.enabled);
            } else if constexpr (std::is_same_v<V, Op::SetNightLight>) {
                doc.put_bool(kNightLightKey, v.enabled);
            } else if constexpr (std::is_same_v<V, Op::SetNightLightTemperature>) {
                doc.put_str(kWarmthKey, v.label);
            } else if constexpr (std::is_same_v<V, Op::SetScale>) {
                doc.put_str(kScaleKey, v.label);
            } else if constexpr (std::is_same_v<V, Op::SetPrimary>) {
                doc.put_bool(output(v.connector, "primary"), v.primary);
            } else if constexpr (std::is_same_v<V, Op::SetOutputScale>) {
                doc.put_str(output(v.connector, "scale"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetPosition>) {
                doc.put_str(output(v.connector, "position"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetMirror>) {
                doc.put_str(output(v.connector, "mirror"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetModeLabel>) {
                doc.put_str(output(v.connector, "mode"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetTransformLabel>) {
                doc.put_str(output(v.connector, "transform"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetColorProfileLabel>) {
                doc.put_str(output(v.connector, "color_profile"), v.label);
            } else if constexpr (std::is_same_v<V, Op::SetEnabled>) {
                doc.put_bool(output(v.connector, "enabled"), v.enabled);
            } else if constexpr (std::is_same_v<V, Op::SetMode>) {
                const OutputMode mode{v.mode.width, v.mode.height, v.mode.refresh_mhz};
                doc.put_str(output(v.connector, "mode"), mode.label());
            } else if constexpr (std::is_same_v<V, Op::SetTransform>) {
                doc.put_str(output(v.connector, "transform"),
                            labels::orientation_label(static_cast<std::uint8_t>(v.transform)));
            } else if constexpr (std::is_same_v<V, Op::SetHdr>) {
                doc.put_bool(output(v.connector, "hdr"), v.enabled);
            } else if constexpr (std::is_same_v<V, Op::SetVrr>) {
                doc.put_bool(output(v.connector, "vrr"), v.enabled);
            } else if constexpr (std::is_same_v<V, Op::SetColorProfile>) {
                std::string text(labels::kSystemDefaultProfile);
                if (v.profile) {
                    const auto row = std::ranges::find(rows_, v.connector, &OutputRow::connector);
                    auto label = row != rows_.end() ? labels::color_profile_label(row->output, *v.profile)
                                                    : std::nullopt;
                    text = label.value_or(*v.profile);
                }
                doc.put_str(output(v.connector, "color_profile"), text);
            } else if constexpr (std::is_same_v<V, Op::Apply>) {
                trigger(kApplyKey);
            } else if constexpr (std::is_same_v<V, Op::Confirm>) {
                trigger(kKeepKey);
            } else if constexpr (std::is_same_v<V, Op::Revert>) {
                trigger(kRevertKey);
            }
        },
        operation.value);
}

// ---- Sync ----------------------------------------------------------------------------------------------------------

std::vector<Outcome> DisplayModel::sync(page_doc::Document& doc, const SyncInput& input)
{
    outcomes_.clear();
    const bool running_display = input.running_key && input.running_key->starts_with(std::string(kKind) + ":");
    // An operation the runner no longer runs is no longer ours to answer.
    if (served_ && (!input.running_key || *input.running_key != served_->key)) {
        served_.reset();
    }
    // Apply, Keep and Revert carry no value, so a later operation has the same key as an earlier one: a trigger is
    // consumed once per operation taken, not once per key for good.
    if (input.taken || !input.running_key || *input.running_key != triggers_written_for_) {
        triggers_written_for_.clear();
    }

    // Brightness answer.
    if (workers_ && workers_->answers) {
        if (auto answer = workers_->answers->try_receive(); answer && in_flight_) {
            in_flight_ = false;
            if (*answer) {
                shown_level_ = **answer;
                doc.put_f64(kBrightnessKey, shown_level_);
                emit(brightness_key_, false, fmt::format("Brightness set to {}%.", rounded_percent(shown_level_)));
            } else {
                shown_level_ = level_before_request_;
                doc.put_f64(kBrightnessKey, shown_level_);
                VORN_WARN("display_pane", "display worker dispatch failed: op=set_brightness error={} level={}",
                          answer->error(), requested_level_);
                emit(brightness_key_, true, fmt::format("Brightness could not be changed: {}", answer->error()));
            }
        }
    }

    // Probe answer.
    if (workers_ && workers_->probe_open) {
        if (auto answer = workers_->probe->try_receive()) {
            set_probe_answer(answer->level, answer->sensor);
            doc.put_f64(kBrightnessKey, answer->level);
            workers_->probe_open = false;
        } else if (workers_->probe->disconnected()) {
            workers_->probe_open = false;
        }
    }

    watch_snapshot();
    if (refresh_document_) {
        refresh_document(doc);
    }

    // Key under which this sync's work is reported.
    const std::string key = running_display ? *input.running_key : std::string();

    if (input.taken) {
        if (!key.empty()) {
            served_ = std::make_unique<Served>(Served{key, *input.taken});
        }
        write_control_state(doc, *input.taken, key);
        handle_brightness(doc, key);
        handle_display_prefs(doc, key, true);
        stage_layout(doc, key);
        handle_transaction(doc, key);
    }

    bool applied_running = false;
    // An operation already answered waits for the runner to clear it; it is not performed again.
    const bool answered = served_ && served_->answered;
    if (input.attached && running_display && !answered) {
        auto decoded =
            actions::decode_payload<DisplayOperation>(std::string_view(*input.running_key).substr(kKind.size() + 1));
        if (decoded) {
            if (!served_) {
                served_ = std::make_unique<Served>(Served{*input.running_key, *decoded});
            }
            write_control_state(doc, *decoded, *input.running_key);
            applied_running = true;
        }
    }
    if (input.attached && !applied_running) {
        reset_from_state(doc);
    }
    const bool quiet = input.attached && !applied_running;
    if (!quiet) {
        handle_brightness(doc, key);
    }
    handle_display_prefs(doc, key, !quiet);
    if (!quiet) {
        stage_layout(doc, key);
        handle_transaction(doc, key);
    } else {
        // The transaction goes on without any operation: keep the card and the layout current.
        handle_transaction(doc, std::string());
    }

    // Every operation ends: what asks for what is already in effect is answered so.
    if (served_ && !served_->answered && !pending_for(served_->key)) {
        emit(served_->key, false, already_in_effect(served_->operation));
    }
    return std::move(outcomes_);
}

std::string DisplayModel::already_in_effect(const DisplayOperation& operation) const
{
    return std::visit(
        [&](const auto& v) -> std::string {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, Op::SetBrightness>) {
                return fmt::format("Brightness is already {}%.", rounded_percent(shown_level_));
            } else if constexpr (std::is_same_v<V, Op::SetAutoBrightness>) {
                return fmt::format("Automatic brightness is already {}.", on_off(applied_prefs_.auto_brightness));
            } else if constexpr (std::is_same_v<V, Op::SetNightLight>) {
                return fmt::format("Night Light is already {}.", on_off(applied_prefs_.night_light));
            } else if constexpr (std::is_same_v<V, Op::SetNightLightTemperature>) {
                return fmt::format("Night Light warmth is already {}.",
                                   labels::night_light_warmth_label(applied_prefs_.night_light_temperature));
            } else if constexpr (std::is_same_v<V, Op::SetScale>) {
                return fmt::format("Display scale is already {}.", labels::display_scale_label(applied_prefs_.scale));
            } else if constexpr (std::is_same_v<V, Op::Apply> || std::is_same_v<V, Op::Confirm> ||
                                 std::is_same_v<V, Op::Revert>) {
                return "Display configuration ended without a result.";
            } else {
                return "No display changes to stage.";
            }
        },
        operation.value);
}

void DisplayModel::watch_snapshot()
{
    const auto now = backend_.now();
    if (now - snapshot_polled_at_ < std::chrono::seconds(1)) {
        return;
    }
    snapshot_polled_at_ = now;
    std::optional<std::filesystem::file_time_type> modified;
    if (auto path = hw::display_snapshot_path()) {
        std::error_code ec;
        auto time = std::filesystem::last_write_time(*path, ec);
        if (!ec) {
            modified = time;
        }
    }
    if (modified == snapshot_modified_) {
        return;
    }
    snapshot_modified_ = modified;
    rows_ = load_display_snapshot();
    active_ = DisplayConfig::load();
    refresh_document_ = true;
    view_dirty_ = true;
}

// ---- Handlers ------------------------------------------------------------------------------------------------------

void DisplayModel::handle_brightness(page_doc::Document& doc, const std::string& key)
{
    const auto value = page_doc::doc_f64(doc, kBrightnessKey);
    if (!value) {
        return;
    }
    const auto requested = static_cast<float>(*value);
    if (!(std::abs(requested - shown_level_) > 0.001F) || in_flight_) {
        return;
    }
    const float clamped = std::clamp(requested, 0.0F, 1.0F);
    const float percent = clamped * 100.0F;
    if (workers_ && workers_->requests) {
        if (!workers_->requests->send(percent)) {
            doc.put_f64(kBrightnessKey, shown_level_);
            emit(key, true, "Brightness worker is unavailable; the display was not changed.");
            return;
        }
        level_before_request_ = shown_level_;
        requested_level_ = requested;
        in_flight_ = true;
        brightness_key_ = key;
        return;
    }
    if (auto done = backend_.set_brightness(percent); done) {
        // The level the panel got, not the one asked for.
        shown_level_ = clamped;
        doc.put_f64(kBrightnessKey, shown_level_);
        emit(key, false, fmt::format("Brightness set to {}%.", percent_text(percent)));
    } else {
        doc.put_f64(kBrightnessKey, shown_level_);
        VORN_WARN("display_pane", "display pane dispatch failed: op=set_brightness error={}", done.error());
        emit(key, true, fmt::format("Brightness could not be changed: {}", done.error()));
    }
}

void DisplayModel::handle_display_prefs(page_doc::Document& doc, const std::string& key, bool full)
{
    const auto save = [&](const std::function<void(prefs::DisplayPrefs&)>& change) {
        auto saved = backend_.save_prefs(change);
        if (!saved) {
            VORN_WARN("display_pane", "failed to persist display prefs: op=display_prefs_save error={}",
                      saved.error());
        }
        return saved;
    };

    if (full) {
        if (auto wanted = page_doc::doc_bool(doc, kAutoBrightnessKey); wanted && *wanted != applied_prefs_.auto_brightness) {
            if (*wanted && !sensor_known_) {
                // The probe has not answered yet: the request waits for it.
                if (!key.empty()) {
                    auto_brightness_waiting_ = key;
                }
            } else if (*wanted && !sensor_) {
                auto_brightness_waiting_.reset();
                doc.put_bool(kAutoBrightnessKey, false);
                emit(key, true,
                     "Automatic brightness is unavailable because this device has no ambient-light sensor.");
            } else {
                auto_brightness_waiting_.reset();
                const bool on = *wanted;
                if (auto saved = save([&](prefs::DisplayPrefs& p) { p.auto_brightness = on; })) {
                    applied_prefs_.auto_brightness = on;
                    emit(key, false, on ? "Automatic brightness enabled." : "Automatic brightness disabled.");
                } else {
                    doc.put_bool(kAutoBrightnessKey, applied_prefs_.auto_brightness);
                    emit(key, true, fmt::format("Display preference could not be saved: {}", saved.error()));
                }
            }
        } else if (wanted && auto_brightness_waiting_ == key) {
            auto_brightness_waiting_.reset();
        }
    }

    if (auto wanted = page_doc::doc_bool(doc, kNightLightKey); wanted && *wanted != applied_prefs_.night_light) {
        const bool on = *wanted;
        if (auto saved = save([&](prefs::DisplayPrefs& p) { p.night_light = on; })) {
            applied_prefs_.night_light = on;
            emit(key, false, on ? "Night Light turned on." : "Night Light turned off.");
        } else {
            // Nothing changed: the switch shows what is in effect.
            doc.put_bool(kNightLightKey, applied_prefs_.night_light);
            emit(key, true, fmt::format("Display preference could not be saved: {}", saved.error()));
        }
    }

    if (auto text = page_doc::doc_text(doc, kWarmthKey)) {
        const auto kelvin = labels::night_light_warmth_from_label(*text);
        if (kelvin && *kelvin != applied_prefs_.night_light_temperature) {
            if (auto saved = save([&](prefs::DisplayPrefs& p) { p.night_light_temperature = *kelvin; })) {
                applied_prefs_.night_light_temperature = *kelvin;
                emit(key, false, fmt::format("Night Light warmth set to {}.", *text));
            } else {
                doc.put_str(kWarmthKey, labels::night_light_warmth_label(applied_prefs_.night_light_temperature));
                emit(key, true, fmt::format("Display preference could not be saved: {}", saved.error()));
            }
        }
    }

    if (full) {
        if (auto text = page_doc::doc_text(doc, kScaleKey)) {
            const auto factor = labels::display_scale_from_label(*text);
            if (factor && std::abs(*factor - applied_prefs_.scale) > std::numeric_limits<double>::epsilon()) {
                if (auto saved = save([&](prefs::DisplayPrefs& p) { p.scale = *factor; })) {
                    applied_prefs_.scale = *factor;
                    emit(key, false, fmt::format("Display scale set to {}.", *text));
                } else {
                    doc.put_str(kScaleKey, labels::display_scale_label(applied_prefs_.scale));
                    emit(key, true, fmt::format("Display preference could not be saved: {}", saved.error()));
                }
            }
        }
    }
}

void DisplayModel::stage_layout(page_doc::Document& doc, const std::string& key)
{
    // The active layout of the outputs present: an entry of a display unplugged since is left to the compositor.
    DisplayConfig candidate;
    for (const auto& row : rows_) {
        if (const auto it = active_.outputs.find(row.connector()); it != active_.outputs.end()) {
            candidate.outputs.insert(*it);
        }
    }
    bool changed = false;
    const auto named = named_rows(rows_);

    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const OutputRow& row = rows_[i];
        const std::string& connector = row.connector();
        const auto found = candidate.outputs.find(connector);
        OutputConfig entry = found != candidate.outputs.end() ? found->second : OutputConfig{};
        const auto field = [&](std::string_view name) { return output_control_id(connector, name); };
        const auto set = [&](auto& target, auto value) {
            if (target != value) {
                target = std::move(value);
                changed = true;
            }
        };

        if (auto enabled = page_doc::doc_bool(doc, field("enabled")); enabled && *enabled != entry.enabled) {
            set(entry.enabled, *enabled);
            if (!*enabled) {
                set(entry.primary, false);
            }
        }
        if (auto primary = page_doc::doc_bool(doc, field("primary")); primary && *primary != entry.primary) {
            if (*primary) {
                for (auto& [other, other_entry] : candidate.outputs) {
                    if (other != connector && other_entry.primary) {
                        other_entry.primary = false;
                        changed = true;
                    }
                }
            }
            set(entry.primary, *primary);
        }
        if (auto text = page_doc::doc_text(doc, field("scale"))) {
            if (auto factor = labels::display_scale_from_label(*text);
                factor && std::abs(*factor - entry.scale) > std::numeric_limits<double>::epsilon()) {
                set(entry.scale, *factor);
            }
        }
        if (auto text = page_doc::doc_text(doc, field("mode"))) {
            if (auto mode = labels::mode_from_label(row.output, *text)) {
                set(entry.mode, std::optional(*mode));
            }
        }
        if (auto text = page_doc::doc_text(doc, field("transform"))) {
            if (auto rotation = labels::orientation_from_label(*text)) {
                set(entry.transform, *rotation);
            }
        }
        if (row.output.hdr_supported) {
            if (auto hdr = page_doc::doc_bool(doc, field("hdr"))) {
                set(entry.hdr, *hdr);
            }
        }
        if (row.output.vrr_supported) {
            if (auto vrr = page_doc::doc_bool(doc, field("vrr"))) {
                set(entry.vrr, *vrr);
            }
        }
        if (auto text = page_doc::doc_text(doc, field("color_profile"))) {
            set(entry.color_profile, labels::color_profile_from_label(row.output, *text));
        }
        if (auto text = page_doc::doc_text(doc, field("mirror"))) {
            std::optional<std::string> mirror;
            if (auto index = labels::mirror_from_text(*text, named)) {
                mirror = rows_[*index].connector();
            }
            if (mirror != connector) {  // an output never mirrors itself
                set(entry.mirror, mirror);
            }
        }
        if (auto text = page_doc::doc_text(doc, field("position"))) {
            if (auto placement = labels::placement_from_text(*text, named); placement && placement->reference != i) {
                const OutputRow& reference = rows_[placement->reference];
                const auto ref_found = candidate.outputs.find(reference.connector());
                const OutputConfig ref = ref_found != candidate.outputs.end() ? ref_found->second : OutputConfig{};
                std::int64_t x = ref.x;
                std::int64_t y = ref.y;
                if (placement->direction == "Left") {
                    x -= row.output.current_mode.width;
                } else if (placement->direction == "Right") {
                    x += reference.output.current_mode.width;
                } else if (placement->direction == "Above") {
                    y -= row.output.current_mode.height;
                } else {
                    y += reference.output.current_mode.height;
                }
                const auto fits = [](std::int64_t v) {
                    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
                };
                if (fits(x) && fits(y)) {
                    set(entry.x, static_cast<std::int32_t>(x));
                    set(entry.y, static_cast<std::int32_t>(y));
                }
            }
        }
        candidate.outputs[connector] = entry;
    }

    // One primary output.
    std::optional<std::string> chosen;
    for (const auto& row : rows_) {
        const auto doc_primary = page_doc::doc_bool(doc, output_control_id(row.connector(), "primary"));
        const auto active_entry = active_.outputs.find(row.connector());
        const bool was_primary = active_entry != active_.outputs.end() && active_entry->second.primary;
        if (doc_primary.value_or(false) && !was_primary && candidate.outputs[row.connector()].enabled) {
            chosen = row.connector();
            break;
        }
    }
    for (const auto& row : rows_) {
        if (chosen) {
            break;
        }
        const auto& entry = candidate.outputs[row.connector()];
        if (entry.enabled && entry.primary) {
            chosen = row.connector();
        }
    }
    for (const auto& row : rows_) {
        if (chosen) {
            break;
        }
        if (candidate.outputs[row.connector()].enabled) {
            chosen = row.connector();
        }
    }
    if (chosen) {
        for (const auto& row : rows_) {
            auto& entry = candidate.outputs[row.connector()];
            const bool primary = row.connector() == *chosen;
            if (entry.primary != primary) {
                entry.primary = primary;
                changed = true;
            }
            doc.put_bool(output_control_id(row.connector(), "primary"), primary);
        }
    }

    // Mirrored outputs run the largest size both offer, each at its own fastest rate of that size.
    for (auto& [connector, entry] : candidate.outputs) {
        if (!entry.mirror) {
            continue;
        }
        const auto own = std::ranges::find(rows_, connector, &OutputRow::connector);
        const auto other = std::ranges::find(rows_, *entry.mirror, &OutputRow::connector);
        if (own == rows_.end() || other == rows_.end()) {
            continue;
        }
        std::optional<std::pair<std::uint32_t, std::uint32_t>> best;
        for (const auto& mode : own->output.modes) {
            const bool shared = std::ranges::any_of(other->output.modes, [&](const OutputMode& m) {
                return m.width == mode.width && m.height == mode.height;
            });
            const auto size = std::pair(mode.width, mode.height);
            const auto area = [](const std::pair<std::uint32_t, std::uint32_t>& s) {
                return std::tuple(std::uint64_t{s.first} * s.second, s.first, s.second);
            };
            if (shared && (!best || area(size) > area(*best))) {
                best = size;
            }
        }
        if (!best) {
            continue;
        }
        const auto fastest = [&](const OutputRow& row) {
            std::optional<OutputMode> pick;
            for (const auto& mode : row.output.modes) {
                if (mode.width == best->first && mode.height == best->second &&
                    (!pick || mode.refresh_mhz > pick->refresh_mhz)) {
                    pick = mode;
                }
            }
            return pick;
        };
        for (auto [row, target] : {std::pair(&*own, &entry), std::pair(&*other, &candidate.outputs[*entry.mirror])}) {
            const auto mode = fastest(*row);
            if (mode && target->mode != mode) {
                target->mode = mode;
                changed = true;
            }
        }
    }

    const bool staging_operation = served_ && served_->key == key && is_staged_variant(served_->operation);
    if (!changed) {
        // Every control back at the layout in force: nothing is left to apply.
        if (staged_) {
            staged_.reset();
            view_dirty_ = true;
            if (staging_operation) {
                emit(key, false, "Staged display changes dropped; the layout in force stays.");
            }
        }
        return;
    }
    std::vector<hw::OutputCapabilities> capabilities;
    for (const auto& row : rows_) {
        auto caps = hw::OutputCapabilities::of(row.output);
        caps.name = row.label;
        capabilities.push_back(std::move(caps));
    }
    if (auto valid = candidate.validate_for(capabilities); !valid) {
        VORN_WARN("display_pane", "rejected invalid display configuration: {}", valid.error());
        if (staging_operation) {
            emit(key, true, fmt::format("Display configuration is not valid: {}", valid.error()));
        }
        return;
    }
    const bool new_layout = candidate != staged_;
    staged_ = std::move(candidate);
    view_dirty_ = view_dirty_ || new_layout;
    if (staging_operation) {
        emit(key, false, "Display change staged. Apply it to preview the new configuration.");
    }
}

void DisplayModel::end_transaction_view(page_doc::Document& doc)
{
    active_ = DisplayConfig::load();
    staged_.reset();
    write_output_controls(doc, active_);
    view_dirty_ = true;
}

void DisplayModel::handle_transaction(page_doc::Document& doc, const std::string& key)
{
    if (page_doc::doc_bool(doc, kApplyKey).value_or(false)) {
        doc.put_bool(kApplyKey, false);
        if (!staged_) {
            emit(key, true, "There are no staged display changes to apply.");
        } else if (auto tx = DisplayTransaction::request(*staged_); !tx) {
            VORN_WARN("display_pane", "failed to stage display configuration: {}", tx.error());
            emit(key, true, fmt::format("Display configuration could not be staged: {}", tx.error()));
        } else {
            awaiting_ = std::make_unique<Awaiting>(Awaiting{key, tx->id, backend_.now(), true});
            view_dirty_ = true;
            if (backend_.ensure_display_service) {
                backend_.ensure_display_service();
            }
        }
    }
    if (page_doc::doc_bool(doc, kKeepKey).value_or(false)) {
        doc.put_bool(kKeepKey, false);
        auto tx = DisplayTransaction::load();
        if (!tx) {
            emit(key, true, "There is no display transaction to keep.");
        } else if (auto kept = tx->request_confirmation(); !kept) {
            VORN_WARN("display_pane", "failed to confirm display configuration: {}", kept.error());
            emit(key, true, fmt::format("Display configuration could not be kept: {}", kept.error()));
        } else {
            awaiting_ = std::make_unique<Awaiting>(Awaiting{key, tx->id, backend_.now(), false});
        }
    }
    if (page_doc::doc_bool(doc, kRevertKey).value_or(false)) {
        doc.put_bool(kRevertKey, false);
        auto tx = DisplayTransaction::load();
        if (!tx) {
            emit(key, true, "There is no display transaction to revert.");
        } else if (auto reverted = tx->request_revert(); !reverted) {
            VORN_WARN("display_pane", "failed to revert display configuration: {}", reverted.error());
            emit(key, true, fmt::format("Display configuration could not be reverted: {}", reverted.error()));
        } else {
            awaiting_ = std::make_unique<Awaiting>(Awaiting{key, tx->id, backend_.now(), false});
        }
    }

    // Watch.
    auto tx = DisplayTransaction::load();
    if (!tx) {
        return;
    }
    // A request this page made waits service_answer_time on the page's clock; one an earlier page left behind
    // (Settings closed while nobody served it) counts from the time it was made.
    const bool requested = tx->state == static_cast<std::uint8_t>(hw::TransactionState::Requested);
    const bool mine = awaiting_ && awaiting_->requested_here && awaiting_->id == tx->id;
    const auto answer_ms = static_cast<std::uint64_t>(backend_.service_answer_time.count());
    const bool overdue = mine ? backend_.now() - awaiting_->requested_at >= backend_.service_answer_time
                              : !awaiting_ && backend_.unix_ms() >= tx->requested_unix_ms + answer_ms;
    if (requested && overdue) {
        // No compositor took the request: take it back rather than show "Applying…" for ever.
        auto withdrawn = tx->withdraw(kNoServiceSentence);
        if (withdrawn && *withdrawn) {
            const std::string waiting_key = mine ? awaiting_->key : std::string();
            awaiting_.reset();
            last_transaction_ = std::pair(tx->id, static_cast<std::uint8_t>(hw::TransactionState::Withdrawn));
            end_transaction_view(doc);
            emit(waiting_key, true, std::string(kNoServiceSentence));
            return;
        }
        tx = DisplayTransaction::load();
        if (!tx) {
            return;
        }
    }
    const auto seen = std::pair(tx->id, tx->state);
    if (last_transaction_ == seen) {
        return;
    }
    last_transaction_ = seen;
    view_dirty_ = true;
    if (tx->state == static_cast<std::uint8_t>(hw::TransactionState::AwaitingConfirmation) && awaiting_ &&
        awaiting_->requested_here && awaiting_->id == tx->id) {
        // Apply ends once the layout runs: Keep and Revert are operations of their own, and the runner takes no
        // other device-local operation while one runs.
        emit(awaiting_->key, false,
             fmt::format("Display changes applied. Keep them, or the previous layout comes back in {} seconds.",
                         seconds_left(tx->confirm_deadline_unix_ms, backend_.unix_ms())));
        awaiting_.reset();
    }
    if (tx->pending()) {
        return;
    }
    std::string answer_key;
    if (awaiting_ && awaiting_->id == tx->id) {
        answer_key = awaiting_->key;
        awaiting_.reset();
    }
    end_transaction_view(doc);
    switch (tx->state) {
    case 4:
        emit(answer_key, false, "Display changes kept.");
        break;
    case 5:
        emit(answer_key, false, "Display changes reverted.");
        break;
    case 6:
        emit(answer_key, true, tx->message.value_or("Display configuration was rejected."));
        break;
    default:
        emit(answer_key, true, "Display configuration ended without a result.");
        break;
    }
}

}  // namespace settings::panes::display
