#include "system_ops/firmware.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <pthread.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <deque>
#include <system_error>
#include <thread>
#include <utility>

namespace system_ops::firmware {

using Json = nlohmann::json;

// ---- The event channel -----------------------------------------------------------------------------------------

struct InstallEvents::Shared {
    mutable std::mutex mutex;
    std::deque<InstallEvent> events;
    bool sender_gone = false;
};

std::pair<InstallEventSender, InstallEvents> InstallEvents::channel(std::function<void()> notify)
{
    auto shared = std::make_shared<Shared>();
    return {InstallEventSender(shared, std::move(notify)), InstallEvents(shared)};
}

std::optional<InstallEvent> InstallEvents::try_next()
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->events.empty()) {
        return std::nullopt;
    }
    InstallEvent event = std::move(shared_->events.front());
    shared_->events.pop_front();
    return event;
}

bool InstallEvents::ended() const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->sender_gone && shared_->events.empty();
}

InstallEventSender::InstallEventSender(std::shared_ptr<InstallEvents::Shared> shared, std::function<void()> notify)
    : shared_(std::move(shared)), notify_(std::move(notify))
{
}

InstallEventSender& InstallEventSender::operator=(InstallEventSender&& other) noexcept
{
    if (this != &other) {
        close();
        shared_ = std::move(other.shared_);
        notify_ = std::move(other.notify_);
    }
    return *this;
}

InstallEventSender::~InstallEventSender()
{
    close();
}

void InstallEventSender::close()
{
    if (!shared_) {
        return;
    }
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->sender_gone = true;
    }
    shared_.reset();
    if (notify_) {
        notify_();
    }
}

void InstallEventSender::send(InstallEvent event)
{
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->events.push_back(std::move(event));
    }
    if (notify_) {
        notify_();
    }
}

// ---- The current service -------------------------------------------------------------------------------------------

namespace {

CurrentSlot<FirmwareService>& slot()
{
    static CurrentSlot<FirmwareService> instance([]() -> std::shared_ptr<FirmwareService> {
        return std::make_shared<FwupdmgrFirmware>();
    });
    return instance;
}

}  // namespace

std::shared_ptr<FirmwareService> current()
{
    return slot().get();
}

std::shared_ptr<FirmwareService> replace_current(std::shared_ptr<FirmwareService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<FirmwareDevice>> get_firmware_devices()
{
    return current()->devices();
}
Result<std::vector<FirmwareUpdate>> get_firmware_updates()
{
    return current()->updates();
}
Result<std::vector<FirmwareHistoryEntry>> get_firmware_history()
{
    return current()->history();
}
Status refresh_firmware_metadata()
{
    return current()->refresh_metadata();
}
Result<InstallEvents> start_firmware_install(std::vector<FirmwareUpdate> updates, std::function<void()> notify)
{
    return current()->start_install(std::move(updates), std::move(notify));
}

bool FirmwareDevice::has_flag(std::string_view flag) const
{
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

// ---- Reading fwupdmgr's output ---------------------------------------------------------------------------------

namespace {

std::string clean_name(std::string_view raw)
{
    return cmd_runner::clean_text(raw, {.max_bytes = max_name_bytes, .trim = true});
}

std::string clean_note(std::string_view raw)
{
    return cmd_runner::clean_text(raw, {.max_chars = max_note_chars, .trim = true});
}

// The text member `key` of an object, cleaned; none when absent, not text or empty once cleaned.
std::optional<std::string> text_member(const Json& object, std::string_view key, bool is_name = false)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    const auto& raw = it->get_ref<const std::string&>();
    std::string text = is_name ? clean_name(raw) : clean_note(raw);
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

std::vector<std::string> text_list(const Json& object, std::string_view key)
{
    std::vector<std::string> out;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        return out;
    }
    for (const auto& item : *it) {
        if (item.is_string()) {
            if (std::string text = clean_name(item.get_ref<const std::string&>()); !text.empty()) {
                out.push_back(std::move(text));
            }
        }
    }
    return out;
}

std::int64_t integer_member(const Json& object, std::string_view key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer()) {
        return 0;
    }
    return it->get<std::int64_t>();
}

// The message of an {"Error":{...}} document.
std::optional<std::string> error_message_of(const Json& document)
{
    const auto error = document.find("Error");
    if (error == document.end() || !error->is_object()) {
        return std::nullopt;
    }
    if (auto message = text_member(*error, "Message")) {
        return message;
    }
    return std::string("fwupd reported an error without a message");
}

// The "Devices" array of fwupdmgr's JSON output, or why there is none.
Result<std::vector<Json>> device_objects(std::string_view text)
{
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::unexpected(std::string("fwupdmgr printed something that is not JSON"));
    }
    if (auto message = error_message_of(document)) {
        return std::unexpected(std::move(*message));
    }
    const auto devices = document.find("Devices");
    if (devices == document.end()) {
        return std::vector<Json>{};
    }
    if (!devices->is_array()) {
        return std::unexpected(std::string("fwupdmgr's device list is not a list"));
    }
    std::vector<Json> out;
    for (const auto& device : *devices) {
        if (device.is_object()) {
            out.push_back(device);
        }
    }
    return out;
}

std::string device_name(const Json& device)
{
    if (auto name = text_member(device, "Name", true)) {
        return std::move(*name);
    }
    if (auto id = text_member(device, "DeviceId", true)) {
        return std::move(*id);
    }
    return "Unnamed device";
}

std::string device_id_of(const Json& device)
{
    auto id = text_member(device, "DeviceId", true);
    return id && is_device_id(*id) ? std::move(*id) : std::string();
}

// The release an update installs: the first one marked as an upgrade, else the first listed.
const Json* offered_release(const Json& device)
{
    const auto releases = device.find("Releases");
    if (releases == device.end() || !releases->is_array() || releases->empty()) {
        return nullptr;
    }
    const Json* first = nullptr;
    for (const auto& release : *releases) {
        if (!release.is_object()) {
            continue;
        }
        if (first == nullptr) {
            first = &release;
        }
        const auto flags = release.find("Flags");
        if (flags != release.end() && flags->is_array() &&
            std::find(flags->begin(), flags->end(), Json("is-upgrade")) != flags->end()) {
            return &release;
        }
    }
    return first;
}

std::string day_of(std::int64_t unix_seconds)
{
    const std::time_t time = static_cast<std::time_t>(unix_seconds);
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr) {
        return {};
    }
    std::array<char, 32> buffer{};
    const std::size_t n = std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d", &parts);
    return std::string(buffer.data(), n);
}

// fwupd's update states: 1 pending, 2 success, 3 failed, 4 needs reboot, 5 failed transiently.
std::string history_text(std::int64_t state, std::int64_t modified)
{
    const std::string day = modified > 0 ? day_of(modified) : std::string();
    const auto dated = [&](std::string_view what) {
        return day.empty() ? std::string(what) : fmt::format("{} {}", what, day);
    };
    switch (state) {
    case 1:
        return "Pending";
    case 2:
        return dated("Installed");
    case 3:
        return dated("Failed");
    case 4:
        return "Waiting for restart";
    case 5:
        return dated("Failed, can be tried again");
    default:
        return "State not reported";
    }
}

}  // namespace

std::optional<std::string> json_error_message(std::string_view text)
{
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    return error_message_of(document);
}

Result<std::vector<FirmwareDevice>> parse_devices(std::string_view json)
{
    auto objects = device_objects(json);
    if (!objects) {
        return std::unexpected(std::move(objects.error()));
    }
    std::vector<FirmwareDevice> devices;
    for (const auto& object : *objects) {
        devices.push_back(FirmwareDevice{
            .id = device_id_of(object),
            .name = device_name(object),
            .version = text_member(object, "Version", true),
            .vendor = text_member(object, "Vendor", true).value_or(""),
            .plugin = text_member(object, "Plugin", true).value_or(""),
            .flags = text_list(object, "Flags"),
        });
    }
    return devices;
}

Result<std::vector<FirmwareUpdate>> parse_updates(std::string_view json)
{
    auto objects = device_objects(json);
    if (!objects) {
        return std::unexpected(std::move(objects.error()));
    }
    std::vector<FirmwareUpdate> updates;
    for (const auto& object : *objects) {
        const Json* release = offered_release(object);
        if (release == nullptr) {
            continue;
        }
        std::optional<std::string> note = text_member(*release, "UpdateMessage");
        if (!note) {
            note = text_member(object, "UpdateMessage");
        }
        if (!note) {
            if (const auto it = release->find("Description"); it != release->end() && it->is_string()) {
                if (std::string text = description_text(it->get_ref<const std::string&>()); !text.empty()) {
                    note = std::move(text);
                }
            }
        }
        std::vector<std::string> prerequisites;
        for (const auto& problem : text_list(object, "Problems")) {
            if (auto phrase = problem_phrase(problem)) {
                prerequisites.push_back(std::move(*phrase));
            }
        }
        updates.push_back(FirmwareUpdate{
            .device_id = device_id_of(object),
            .device = device_name(object),
            .current_version = text_member(object, "Version", true),
            .new_version = text_member(*release, "Version", true),
            .note = std::move(note),
            .prerequisites = std::move(prerequisites),
        });
    }
    return updates;
}

Result<std::vector<FirmwareHistoryEntry>> parse_history(std::string_view json)
{
    auto objects = device_objects(json);
    if (!objects) {
        return std::unexpected(std::move(objects.error()));
    }
    std::vector<FirmwareHistoryEntry> entries;
    for (const auto& object : *objects) {
        const Json* release = offered_release(object);
        const std::int64_t modified = integer_member(object, "Modified");
        entries.push_back(FirmwareHistoryEntry{
            .device_id = device_id_of(object),
            .device = device_name(object),
            .text = history_text(integer_member(object, "UpdateState"), modified),
            .previous_version = text_member(object, "Version", true),
            .new_version = release != nullptr ? text_member(*release, "Version", true) : std::nullopt,
            .error = text_member(object, "UpdateError"),
            .modified = modified,
        });
    }
    std::stable_sort(entries.begin(), entries.end(), [](const FirmwareHistoryEntry& a, const FirmwareHistoryEntry& b) {
        return a.modified > b.modified;
    });
    return entries;
}

std::string description_text(std::string_view markup)
{
    std::string plain;
    plain.reserve(markup.size());
    for (std::size_t i = 0; i < markup.size();) {
        if (markup[i] == '<') {
            const auto end = markup.find('>', i);
            if (end == std::string_view::npos) {
                break;
            }
            plain += ' ';  // an element boundary separates words
            i = end + 1;
            continue;
        }
        if (markup[i] == '&') {
            static constexpr std::array<std::pair<std::string_view, char>, 5> entities = {
                {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
            bool replaced = false;
            for (const auto& [entity, character] : entities) {
                if (markup.substr(i, entity.size()) == entity) {
                    plain += character;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
            if (replaced) {
                continue;
            }
        }
        plain += markup[i++];
    }
    // One space between words, whatever the markup's layout was.
    std::string cleaned = cmd_runner::clean_text(plain);
    std::string collapsed;
    for (const char c : cleaned) {
        if (c == ' ' && (collapsed.empty() || collapsed.back() == ' ')) {
            continue;
        }
        collapsed += c;
    }
    return clean_note(collapsed);
}

std::optional<std::string> problem_phrase(std::string_view problem)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 11> phrases = {{
        {"system-power-too-low", "charge the computer's battery"},
        {"unreachable", "bring the device within reach and turn it on"},
        {"power-too-low", "charge the device"},
        {"update-pending", "restart to finish the update that is already pending"},
        {"require-ac-power", "connect the AC adapter"},
        {"lid-is-closed", "open the lid"},
        {"missing-license", "get the vendor's licence for this device"},
        {"system-inhibit", "wait until the program holding off updates allows them"},
        {"update-in-progress", "wait for the update in progress to finish"},
        {"in-use", "stop using the device"},
        {"display-required", "connect a display"},
    }};
    for (const auto& [name, phrase] : phrases) {
        if (name == problem) {
            return std::string(phrase);
        }
    }
    // Problems the user cannot act on.
    if (problem == "is-emulated" || problem == "lower-priority" || problem == "none") {
        return std::nullopt;
    }
    return clean_name(problem);
}

bool is_device_id(std::string_view id)
{
    if (id.size() < 8 || id.size() > 64) {
        return false;
    }
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

std::optional<ProgressLine> parse_progress_line(std::string_view line)
{
    // "<status>: <n>%", the status usually ending in "…".
    if (line.empty() || line.back() != '%') {
        return std::nullopt;
    }
    const auto colon = line.rfind(": ");
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    const std::string_view digits = line.substr(colon + 2, line.size() - colon - 3);
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    unsigned percent = 0;
    for (const char c : digits) {
        percent = percent * 10 + static_cast<unsigned>(c - '0');
    }
    if (percent > 100) {
        return std::nullopt;
    }
    std::string status = clean_name(line.substr(0, colon));
    if (status.empty()) {
        return std::nullopt;
    }
    return ProgressLine{.status = std::move(status), .percent = percent};
}

// ---- The real backend ----------------------------------------------------------------------------------------------

namespace {

constexpr std::string_view program = "fwupdmgr";
// fwupdmgr's exit status for "nothing to do" (no updates, no history, already up to date).
constexpr int nothing_to_do = 2;
// Untranslated texts in UTF-8, so the progress lines read the same on every machine.
const cmd_runner::EnvVar plain_language{"LC_ALL", "C.UTF-8"};

std::string runner_failure(const cmd_runner::Error& error)
{
    return fmt::format("{} command failed: {}", program, error.text());
}

// The last line of `text` that is not a progress line, cleaned; empty when there is none.
std::string last_message_line(std::string_view text)
{
    std::string last;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        if (!parse_progress_line(line)) {
            if (std::string cleaned = clean_note(line); !cleaned.empty()) {
                last = std::move(cleaned);
            }
        }
        start = end + 1;
    }
    return last;
}

// Why fwupdmgr failed: its JSON error, else the last message it printed, else its exit status.
std::string failure_of(const cmd_runner::Output& output)
{
    if (auto message = json_error_message(output.stdout_bytes)) {
        return std::move(*message);
    }
    if (std::string line = last_message_line(output.stderr_bytes); !line.empty()) {
        return line;
    }
    return cmd_runner::failure_text(output, program);
}

// Collects fwupdmgr's progress output as it arrives and turns whole lines into events.
class ProgressReader {
public:
    ProgressReader(InstallEventSender& sender, std::string device, std::size_t index, std::size_t count)
        : sender_(sender), device_(std::move(device)), index_(index), count_(count)
    {
    }

    void take(std::string_view piece)
    {
        pending_.append(piece);
        std::size_t start = 0;
        for (;;) {
            const auto end = pending_.find_first_of("\r\n", start);
            if (end == std::string::npos) {
                break;
            }
            line(std::string_view(pending_).substr(start, end - start));
            start = end + 1;
        }
        pending_.erase(0, start);
        // A line without an end that keeps growing is not progress; keep only its tail for the message.
        if (pending_.size() > 4096) {
            pending_.erase(0, pending_.size() - 4096);
        }
    }

    // The last message line (not progress) fwupdmgr printed on standard error.
    [[nodiscard]] std::string message()
    {
        if (!pending_.empty()) {
            line(pending_);
            pending_.clear();
        }
        return last_message_;
    }

private:
    void line(std::string_view text)
    {
        if (auto progress = parse_progress_line(text)) {
            if (progress->status.starts_with("Idle")) {
                return;  // before the work starts and after it ends
            }
            const auto overall = static_cast<unsigned>((index_ * 100 + progress->percent) / count_);
            sender_.send(InstallEvent{InstallEvent::Progress{
                .text = fmt::format("{}: {}", device_, progress->status),
                .percent = std::min(overall, 100U),
            }});
            return;
        }
        if (std::string cleaned = clean_note(text); !cleaned.empty()) {
            last_message_ = std::move(cleaned);
        }
    }

    InstallEventSender& sender_;
    std::string device_;
    std::size_t index_;
    std::size_t count_;
    std::string pending_;
    std::string last_message_;
};

}  // namespace

FwupdmgrFirmware::FwupdmgrFirmware(std::shared_ptr<cmd_runner::Runner> runner)
    : FwupdmgrFirmware(std::move(runner), Options{})
{
}

FwupdmgrFirmware::FwupdmgrFirmware(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(options)
{
}

Result<std::optional<std::string>> FwupdmgrFirmware::query(std::vector<std::string> args,
                                                            std::chrono::milliseconds limit)
{
    args.emplace_back("--json");
    const auto out = runner_->run({.program = std::string(program),
                                   .args = std::move(args),
                                   .env = {plain_language},
                                   .time_limit = limit});
    if (!out) {
        return std::unexpected(runner_failure(out.error()));
    }
    if (out->status.code == nothing_to_do) {
        return std::optional<std::string>();
    }
    if (!out->status.success()) {
        return std::unexpected(failure_of(*out));
    }
    return std::optional<std::string>(out->stdout_text());
}

Result<std::vector<FirmwareDevice>> FwupdmgrFirmware::devices()
{
    auto out = query({"get-devices"}, options_.query_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return *out ? parse_devices(**out) : std::vector<FirmwareDevice>{};
}

Result<std::vector<FirmwareUpdate>> FwupdmgrFirmware::updates()
{
    auto out = query({"get-updates"}, options_.query_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return *out ? parse_updates(**out) : std::vector<FirmwareUpdate>{};
}

Result<std::vector<FirmwareHistoryEntry>> FwupdmgrFirmware::history()
{
    auto out = query({"get-history"}, options_.query_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return *out ? parse_history(**out) : std::vector<FirmwareHistoryEntry>{};
}

Status FwupdmgrFirmware::refresh_metadata()
{
    // --force: refresh even when the metadata is recent (the user asked for it).
    auto out = query({"refresh", "--force"}, options_.refresh_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return {};
}

Result<InstallEvents> FwupdmgrFirmware::start_install(std::vector<FirmwareUpdate> updates,
                                                      std::function<void()> notify)
{
    if (updates.empty()) {
        return std::unexpected(std::string("there are no firmware upgrades to install"));
    }
    for (const auto& update : updates) {
        if (!is_device_id(update.device_id)) {
            return std::unexpected(fmt::format("{} has no device id fwupd can install to", update.device));
        }
    }
    auto [sender, events] = InstallEvents::channel(std::move(notify));
    auto work = [runner = runner_, options = options_, updates = std::move(updates),
                 sender = std::move(sender)]() mutable {
        const std::size_t count = updates.size();
        sender.send(InstallEvent{InstallEvent::Preparing{.updates = count}});
        for (std::size_t i = 0; i < count; ++i) {
            const FirmwareUpdate& update = updates[i];
            ProgressReader reader(sender, update.device, i, count);
            // No question may wait for an answer: yes to the installation, no reboot prompt, no report upload
            // prompt, no metadata refresh prompt (standard input is empty anyway).
            const auto out = runner->run({
                .program = std::string(program),
                .args = {"update", "--assume-yes", "--no-reboot-check", "--no-unreported-check", "--no-metadata-check",
                         update.device_id},
                .env = {plain_language},
                .time_limit = options.install_limit,
                .on_stderr = [&reader](std::string_view piece) { reader.take(piece); },
            });
            if (!out) {
                sender.send(InstallEvent{InstallEvent::Failed{fmt::format("{}: {}", update.device,
                                                                          runner_failure(out.error()))}});
                return;
            }
            // Exit status 2: nothing to do, the device runs that version already.
            if (!out->status.success() && out->status.code != nothing_to_do) {
                std::string message = reader.message();
                if (message.empty()) {
                    message = failure_of(*out);
                }
                sender.send(InstallEvent{InstallEvent::Failed{fmt::format("{}: {}", update.device, message)}});
                return;
            }
        }
        // A device that applies its new firmware when the machine restarts says so by its flags.
        bool restart_required = false;
        FwupdmgrFirmware fwupd(runner, options);
        if (auto devices = fwupd.devices()) {
            for (const auto& device : *devices) {
                const bool installed = std::any_of(updates.begin(), updates.end(), [&](const FirmwareUpdate& update) {
                    return update.device_id == device.id;
                });
                if (installed && (device.has_flag("needs-reboot") || device.has_flag("needs-shutdown"))) {
                    restart_required = true;
                }
            }
        } else {
            VORN_WARN("firmware", "could not ask fwupd whether a restart is needed: {}", devices.error());
        }
        sender.send(InstallEvent{InstallEvent::Finished{.restart_required = restart_required}});
    };
    try {
        std::thread([work = std::move(work)]() mutable {
            ::pthread_setname_np(::pthread_self(), "vorn-fw-install");
            work();
        }).detach();
    } catch (const std::system_error& error) {
        return std::unexpected(fmt::format("the firmware installation could not start: {}", error.what()));
    }
    return std::move(events);
}

}  // namespace system_ops::firmware
