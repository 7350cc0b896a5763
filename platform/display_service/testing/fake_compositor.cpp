#include "display_service/testing/fake_compositor.hpp"

namespace display_service::testing {

MemoryLayout::MemoryLayout(DisplayHardwareSnapshot snapshot, DisplayConfig layout)
    : snapshot_(std::move(snapshot)), layout_(std::move(layout))
{
}

std::expected<DisplayHardwareSnapshot, std::string> MemoryLayout::snapshot()
{
    const std::lock_guard lock(mutex_);
    return snapshot_;
}

std::expected<DisplayConfig, std::string> MemoryLayout::layout()
{
    const std::lock_guard lock(mutex_);
    return layout_;
}

std::expected<void, std::string> MemoryLayout::apply(const DisplayConfig& config)
{
    const std::lock_guard lock(mutex_);
    if (refusal_) {
        auto reason = std::move(*refusal_);
        refusal_.reset();
        return std::unexpected(std::move(reason));
    }
    for (const auto& [connector, entry] : config.outputs) {
        layout_.outputs[connector] = entry;
    }
    applied_.push_back(layout_);
    return {};
}

void MemoryLayout::refuse_next(std::string reason)
{
    const std::lock_guard lock(mutex_);
    refusal_ = std::move(reason);
}

std::vector<DisplayConfig> MemoryLayout::applied() const
{
    const std::lock_guard lock(mutex_);
    return applied_;
}

FakeCompositor::FakeCompositor(DisplayHardwareSnapshot snapshot, DisplayConfig layout, Options options)
    : layout_(std::make_shared<MemoryLayout>(std::move(snapshot), std::move(layout))),
      service_(layout_, {.safety = options.safety, .clock = std::move(options.clock)})
{
    (void)service_.publish();
    thread_ = std::thread([this] { run(); });
}

FakeCompositor::~FakeCompositor()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool FakeCompositor::step()
{
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++asked_;
    wake_.notify_all();
    wake_.wait(lock, [&] { return done_ >= ticket; });
    return pending_;
}

void FakeCompositor::run()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stopping_ || asked_ > done_; });
        if (stopping_) {
            return;
        }
        const std::uint64_t ticket = asked_;
        lock.unlock();
        const bool pending = service_.step();
        lock.lock();
        pending_ = pending;
        done_ = ticket;
        wake_.notify_all();
    }
}

}  // namespace display_service::testing
