#include "display_service/service.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "json_text/json_text.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace display_service {
namespace {

namespace hw = config_sections::hardware;
using hw::DisplayTransaction;
using hw::TransactionState;

constexpr std::uint8_t state_of(TransactionState state) { return static_cast<std::uint8_t>(state); }

// Changes the transaction `id` under its lock, when it is still in one of the states `from` allows.
void move_own(std::uint64_t id, const std::function<bool(std::uint8_t)>& from,
              const std::function<void(DisplayTransaction&)>& change)
{
    auto updated = hw::update_display_transaction([&](std::optional<DisplayTransaction>& current) {
        if (current && current->id == id && from(current->state)) {
            change(*current);
        }
    });
    if (!updated) {
        VORN_WARN("display_service", "could not update the display transaction: {}", updated.error());
    }
}

bool is(std::uint8_t state, TransactionState wanted) { return state == state_of(wanted); }

// The layout asked for over the live one: outputs it does not name stay as they are.
hw::DisplayConfig over(const hw::DisplayConfig& live, const hw::DisplayConfig& requested)
{
    hw::DisplayConfig merged = live;
    for (const auto& [connector, entry] : requested.outputs) {
        merged.outputs[connector] = entry;
    }
    return merged;
}

// An exclusive flock on the service lock file, not waiting.
class ServiceLock {
public:
    static std::expected<std::optional<ServiceLock>, std::string> try_take()
    {
        auto path = hw::display_service_lock_path();
        if (!path) {
            return std::unexpected(path.error());
        }
        std::error_code ec;
        std::filesystem::create_directories(path->parent_path(), ec);
        const int fd = ::open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            return std::unexpected(fmt::format("could not open {}: {}", path->string(), std::strerror(errno)));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                return std::nullopt;
            }
            return std::unexpected(fmt::format("could not lock {}: {}", path->string(), std::strerror(error)));
        }
        return ServiceLock(fd);
    }
    ServiceLock(ServiceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ServiceLock& operator=(ServiceLock&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ServiceLock(const ServiceLock&) = delete;
    ServiceLock& operator=(const ServiceLock&) = delete;
    ~ServiceLock()
    {
        if (fd_ >= 0) {
            ::close(fd_);  // closing the only descriptor releases the flock
        }
    }

private:
    explicit ServiceLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

std::string with_stop(std::string sentence) { return sentence.ends_with('.') ? sentence : sentence + "."; }

}  // namespace

TransactionService::TransactionService(std::shared_ptr<LayoutBackend> backend, Options options)
    : backend_(std::move(backend)), options_(std::move(options))
{
}

std::uint64_t TransactionService::now() const { return options_.clock ? options_.clock() : hw::unix_ms(); }

std::expected<void, std::string> TransactionService::publish()
{
    auto snapshot = backend_->snapshot();
    if (!snapshot) {
        return std::unexpected(snapshot.error());
    }
    auto layout = backend_->layout();
    if (!layout) {
        return std::unexpected(layout.error());
    }
    const std::string snapshot_text = json_text::compact(hw::Json(*snapshot));
    if (snapshot_text != written_snapshot_) {
        auto path = hw::display_snapshot_path();
        if (!path) {
            return std::unexpected(path.error());
        }
        if (auto saved = hw::save_snapshot_file(*snapshot, *path); !saved) {
            return saved;
        }
        written_snapshot_ = snapshot_text;
    }
    const std::string layout_text = json_text::compact(hw::Json(*layout));
    if (layout_text != written_layout_) {
        if (auto saved = layout->save(); !saved) {
            return saved;
        }
        written_layout_ = layout_text;
    }
    return {};
}

bool TransactionService::step()
{
    auto tx = DisplayTransaction::load();
    if (!tx) {
        return false;
    }
    const std::uint8_t state = tx->state;
    if (is(state, TransactionState::Requested)) {
        take_request(tx->id);
    } else if (is(state, TransactionState::Validating) || is(state, TransactionState::Applying)) {
        // Only a service that stopped half-way leaves these behind.
        restore(tx->id, "The display service stopped while applying this layout.");
    } else if (is(state, TransactionState::AwaitingConfirmation)) {
        if (tx->keep_requested) {
            move_own(
                tx->id, [](std::uint8_t s) { return is(s, TransactionState::AwaitingConfirmation); },
                [](DisplayTransaction& current) {
                    current.state = state_of(TransactionState::Kept);
                    current.confirm_deadline_unix_ms.reset();
                    current.message = "The new display layout was kept.";
                });
        } else if (tx->revert_requested) {
            restore(tx->id, "The previous display layout is back.");
        } else if (!tx->confirm_deadline_unix_ms || now() >= *tx->confirm_deadline_unix_ms) {
            restore(tx->id, "The previous display layout came back because the change was not kept in time.");
        }
    }
    auto after = DisplayTransaction::load();
    return after && after->pending();
}

void TransactionService::take_request(std::uint64_t id)
{
    bool claimed = false;
    move_own(
        id, [](std::uint8_t s) { return is(s, TransactionState::Requested); },
        [&](DisplayTransaction& current) {
            current.state = state_of(TransactionState::Validating);
            current.message = "Checking the new display layout…";
            claimed = true;
        });
    if (!claimed) {
        return;
    }
    auto tx = DisplayTransaction::load();
    if (!tx || tx->id != id) {
        return;
    }
    const auto reject = [&](const std::string& message) {
        VORN_INFO("display_service", "display transaction {} rejected: {}", id, message);
        move_own(
            id, [](std::uint8_t s) { return s <= 3; },
            [&](DisplayTransaction& current) {
                current.state = state_of(TransactionState::Rejected);
                current.confirm_deadline_unix_ms.reset();
                current.message = message;
            });
    };

    auto snapshot = backend_->snapshot();
    if (!snapshot) {
        reject(with_stop("The display service could not read the outputs: " + snapshot.error()));
        return;
    }
    auto live = backend_->layout();
    if (!live) {
        reject(with_stop("The display service could not read the outputs: " + live.error()));
        return;
    }
    std::vector<hw::OutputCapabilities> capabilities;
    for (const auto& output : snapshot->outputs) {
        capabilities.push_back(hw::OutputCapabilities::of(output));
    }
    const hw::DisplayConfig wanted = over(*live, tx->config);
    if (auto valid = wanted.validate_for(capabilities); !valid) {
        reject(with_stop("The display layout was refused: " + valid.error()));
        return;
    }

    move_own(
        id, [](std::uint8_t s) { return is(s, TransactionState::Validating); },
        [&](DisplayTransaction& current) {
            current.state = state_of(TransactionState::Applying);
            current.previous = *live;
            current.message = "Switching the displays…";
        });
    if (auto applied = backend_->apply(wanted); !applied) {
        std::string message = with_stop("The display layout was refused: " + applied.error());
        if (auto restored = backend_->apply(*live); !restored) {
            message += " " + with_stop("The previous layout could not be restored either: " + restored.error());
        }
        (void)publish();
        reject(message);
        return;
    }
    if (auto published = publish(); !published) {
        VORN_WARN("display_service", "could not write the display files: {}", published.error());
    }
    const std::uint64_t deadline = now() + static_cast<std::uint64_t>(options_.safety.count());
    move_own(
        id, [](std::uint8_t s) { return is(s, TransactionState::Applying); },
        [&](DisplayTransaction& current) {
            current.state = state_of(TransactionState::AwaitingConfirmation);
            current.confirm_deadline_unix_ms = deadline;
            current.message.reset();
        });
    VORN_INFO("display_service", "display transaction {} applied; kept or restored by {}", id, deadline);
}

void TransactionService::restore(std::uint64_t id, std::string_view why)
{
    auto tx = DisplayTransaction::load();
    if (!tx || tx->id != id) {
        return;
    }
    std::uint8_t outcome = state_of(TransactionState::Reverted);
    std::string message(why);
    if (tx->previous) {
        if (auto restored = backend_->apply(*tx->previous); !restored) {
            outcome = state_of(TransactionState::Rejected);
            message = with_stop("The previous display layout could not be restored: " + restored.error());
        }
    } else if (!is(tx->state, TransactionState::AwaitingConfirmation)) {
        outcome = state_of(TransactionState::Rejected);  // stopped before anything changed
    }
    if (auto published = publish(); !published) {
        VORN_WARN("display_service", "could not write the display files: {}", published.error());
    }
    VORN_INFO("display_service", "display transaction {} ended ({}): {}", id, hw::state_name(outcome), message);
    move_own(
        id, [](std::uint8_t s) { return s <= 3; },
        [&](DisplayTransaction& current) {
            current.state = outcome;
            current.confirm_deadline_unix_ms.reset();
            current.message = message;
        });
}

// ---- The program -------------------------------------------------------------------------------------------------

std::expected<void, std::string> run_display_service(const RunOptions& options)
{
    auto lock = ServiceLock::try_take();
    if (!lock) {
        return std::unexpected(lock.error());
    }
    if (!*lock) {
        VORN_INFO("display_service", "another display service serves this session");
        return {};
    }
    auto screen = RandrScreen::open(options.display);
    if (!screen) {
        return std::unexpected(screen.error());
    }
    TransactionService service(std::shared_ptr<LayoutBackend>(std::move(*screen)), {.safety = options.safety});
    if (auto published = service.publish(); !published) {
        VORN_WARN("display_service", "could not write the display files: {}", published.error());
    }

    using Clock = std::chrono::steady_clock;
    auto idle_since = Clock::now();
    auto published_at = Clock::now();
    while (options.stop == nullptr || !options.stop->load()) {
        if (service.step()) {
            idle_since = Clock::now();
        } else if (Clock::now() - idle_since >= options.linger) {
            // Let go first, then look once more: a request written meanwhile either sees no service and starts
            // one, or is seen here.
            lock->reset();
            auto tx = DisplayTransaction::load();
            if (!tx || !tx->pending()) {
                return {};
            }
            auto again = ServiceLock::try_take();
            if (!again || !*again) {
                return {};  // another service took over
            }
            lock = std::move(again);
            idle_since = Clock::now();
            continue;
        }
        if (Clock::now() - published_at >= std::chrono::seconds(1)) {
            published_at = Clock::now();
            if (auto published = service.publish(); !published) {
                VORN_WARN("display_service", "could not write the display files: {}", published.error());
            }
        }
        std::this_thread::sleep_for(options.poll);
    }
    return {};
}

bool display_service_running()
{
    auto lock = ServiceLock::try_take();
    return lock && !*lock;
}

std::expected<bool, std::string> ensure_display_service(const LaunchOptions& options)
{
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') {
        return std::unexpected(std::string("the session's Wayland compositor manages the displays"));
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return std::unexpected(std::string("there is no X display to configure"));
    }
    auto lock = ServiceLock::try_take();
    if (!lock) {
        return std::unexpected(lock.error());
    }
    if (!*lock) {
        return false;
    }
    lock->reset();  // the service takes it

    std::string program = options.program;
    if (program.empty()) {
        std::error_code ec;
        const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "vorn-display-service";
        program = !ec && std::filesystem::exists(beside, ec) ? beside.string() : "vorn-display-service";
    }
    auto started = cmd_runner::launch_detached({.program = program, .args = options.args});
    if (!started) {
        return std::unexpected(started.error().message);
    }
    VORN_INFO("display_service", "started {} (pid {})", program, *started);
    return true;
}

}  // namespace display_service
