#pragma once
// One worker's one answer, handed to the page without blocking either side.
//
// The page makes a slot, gives the worker an AnswerSender for it and keeps the slot; its sync then asks
// try_receive() each pass. The sender keeps the first value sent and, when it goes (after sending, or because the
// worker died), marks the slot so that the page learns the worker is gone instead of waiting for ever. Each event
// wakes the UI loop. A page that closes drops its slot; the worker's answer then goes nowhere.
//
//   auto slot = std::make_shared<AnswerSlot<Result>>();
//   auto sender = std::make_shared<AnswerSender<Result>>(slot, wake);
//   start_thread("vorn-…", [sender] { sender->send(slow_work()); });
//   ... in sync: if (auto r = try_receive(slot); r.got != Got::Nothing) { ... }

#include "vorn_ui/state.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace settings::page_workers {

template <class T>
struct AnswerSlot {
    std::mutex mutex;
    std::optional<T> value;
    bool sender_gone = false;
};

// The worker's end of a slot.
template <class T>
class AnswerSender {
public:
    AnswerSender(std::shared_ptr<AnswerSlot<T>> slot, vorn_ui::WakeHandle wake)
        : slot_(std::move(slot)), wake_(std::move(wake))
    {
    }
    AnswerSender(const AnswerSender&) = delete;
    AnswerSender& operator=(const AnswerSender&) = delete;
    ~AnswerSender()
    {
        {
            const std::lock_guard lock(slot_->mutex);
            slot_->sender_gone = true;
        }
        wake_.wake();
    }

    // Keeps the first value; later ones are dropped.
    void send(T value)
    {
        {
            const std::lock_guard lock(slot_->mutex);
            if (!slot_->value) {
                slot_->value = std::move(value);
            }
        }
        wake_.wake();
    }

private:
    std::shared_ptr<AnswerSlot<T>> slot_;
    vorn_ui::WakeHandle wake_;
};

// What a slot holds now: nothing yet, the worker's value, or the worker gone without one.
enum class Got : std::uint8_t { Nothing, Value, Gone };

template <class T>
struct Received {
    Got got = Got::Nothing;
    std::optional<T> value;
};

// Never waits. A null slot holds nothing.
template <class T>
[[nodiscard]] Received<T> try_receive(const std::shared_ptr<AnswerSlot<T>>& slot)
{
    if (!slot) {
        return {};
    }
    const std::lock_guard lock(slot->mutex);
    if (slot->value) {
        return {Got::Value, std::move(slot->value)};
    }
    if (slot->sender_gone) {
        return {Got::Gone, std::nullopt};
    }
    return {};
}

// The slot's answer without waiting: the worker's value, `ended()` when the worker went without one, or none yet.
template <class T, class Ended>
[[nodiscard]] std::optional<T> take_answer(const std::shared_ptr<AnswerSlot<T>>& slot, Ended ended)
{
    auto received = try_receive(slot);
    switch (received.got) {
    case Got::Value:
        return std::move(received.value);
    case Got::Gone:
        return ended();
    case Got::Nothing:
        break;
    }
    return std::nullopt;
}

}  // namespace settings::page_workers
