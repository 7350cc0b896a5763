#pragma once
// One-shot workers of a page (beside the executors of page_workers.hpp): a detached thread that does one slow
// thing (a tool run, a walk, a socket call) and hands its one result back through a channel that the page's sync
// looks at without waiting.
//
//   auto channel = std::make_shared<page_workers::Channel<Result>>();
//   auto sender = std::make_shared<page_workers::Sender<Result>>(channel, wake);
//   start_thread("vorn-page-read", [sender, backend] { sender->send(backend->read()); });
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

// Starts `work` on a detached thread named `name`; the system's error text when no thread could be started.
using StartThread = std::function<std::expected<void, std::string>(std::string_view name, std::function<void()> work)>;
// The real one (the name Linux keeps is cut to 15 bytes).
[[nodiscard]] std::expected<void, std::string> start_detached_thread(std::string_view name,
                                                                     std::function<void()> work);

}  // namespace settings::page_workers
