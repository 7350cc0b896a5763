#pragma once
// One-shot workers of a page (beside the executors of page_workers.hpp): a worker thread that does one slow
// thing (a tool run, a walk, a socket call) and hands its one result back through a channel that the page's sync
// looks at without waiting.
//
//   auto started = page_workers::start_one_shot<Result>(start_thread, "vorn-page-read", wake,
//                                                       [backend] { return backend->read(); });
//   if (started) channel = std::move(*started); else ...the worker could not start...
//   ... in every sync:
//   if (auto result = page_workers::try_receive(channel, [] { return Result(ended); })) { ...; channel.reset(); }
//
// The worker owns the sender: when the last copy goes (the work returned, threw, or was never run) the channel is
// closed, so a page never waits for a worker that died without a word. Sending and closing wake the UI loop. A page
// that goes away drops its end of the channel; the worker's late result then reaches nobody.

#include "vorn_ui/state.hpp"

#include <exception>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace settings::page_workers {

// At most one message, and whether the worker's end is gone.
template <class T>
struct Channel {
    std::mutex mutex;
    std::optional<T> message;
    bool closed = false;
};

// The worker's end of a channel: keeps the first message sent.
template <class T>
class Sender {
public:
    Sender(std::shared_ptr<Channel<T>> channel, vorn_ui::WakeHandle wake) : channel_(std::move(channel)), wake_(std::move(wake))
    {
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    ~Sender()
    {
        {
            const std::lock_guard lock(channel_->mutex);
            channel_->closed = true;
        }
        wake_.wake();
    }

    void send(T message)
    {
        {
            const std::lock_guard lock(channel_->mutex);
            if (!channel_->message) {
                channel_->message = std::move(message);
            }
        }
        wake_.wake();
    }

private:
    std::shared_ptr<Channel<T>> channel_;
    vorn_ui::WakeHandle wake_;
};

// The channel's message without waiting; `ended()` when the worker ended without one; none before either (or
// without a channel).
template <class T, class Ended>
std::optional<T> try_receive(const std::shared_ptr<Channel<T>>& channel, Ended ended)
{
    if (!channel) {
        return std::nullopt;
    }
    const std::lock_guard lock(channel->mutex);
    if (channel->message) {
        return std::move(*channel->message);
    }
    if (channel->closed) {
        return ended();
    }
    return std::nullopt;
}

// A call's expected answer, or the text of an exception that escaped it.
template <class F>
auto guarded(F&& call) -> decltype(call())
{
    try {
        return call();
    } catch (const std::exception& error) {
        return std::unexpected(std::string(error.what()));
    } catch (...) {
        return std::unexpected(std::string("unexpected failure"));
    }
}

// Starts `work` on a worker thread named `name` (worker_threads.hpp, joined when the program ends); the system's
// error text when no thread could be started.
using StartThread = std::function<std::expected<void, std::string>(std::string_view name, std::function<void()> work)>;
// The real one (the name Linux keeps is cut to 15 bytes).
[[nodiscard]] std::expected<void, std::string> start_detached_thread(std::string_view name,
                                                                     std::function<void()> work);

namespace detail {
// Says in the log that the worker `name` ended by an exception, without a message.
void log_worker_exception(std::string_view name, std::string_view what);
}  // namespace detail

// Starts `work` through `start_thread` under `name`, with a new channel for what `work` returns: the channel, or
// the reason no thread could be started. The channel closes as soon as the work ends; should `work` throw, it
// closes without a message (the exception goes to the log).
template <class T, class Work>
[[nodiscard]] std::expected<std::shared_ptr<Channel<T>>, std::string>
start_one_shot(const StartThread& start_thread, std::string_view name, const vorn_ui::WakeHandle& wake, Work work)
{
    auto channel = std::make_shared<Channel<T>>();
    auto sender = std::make_shared<Sender<T>>(channel, wake);
    auto started = start_thread(
        name, [sender = std::move(sender), work = std::move(work), name = std::string(name)]() mutable {
            try {
                sender->send(work());
            } catch (const std::exception& error) {
                detail::log_worker_exception(name, error.what());
            } catch (...) {
                detail::log_worker_exception(name, "unknown exception");
            }
            sender.reset();
        });
    if (!started) {
        return std::unexpected(std::move(started.error()));
    }
    return channel;
}

}  // namespace settings::page_workers
