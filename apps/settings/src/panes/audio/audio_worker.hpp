#pragma once
// Where the Sound page's system calls run: never on the UI thread. Each call (wpctl, pw-dump, pw-metadata) may take
// up to its 5 s time limit; the page posts it here and takes the answer in a later sync.
//
// Jobs run one at a time in the order they were posted, so two changes of the same device never overtake each
// other. A job must own everything it touches (shared backends, values): it may still be running after the page is
// gone.

#include <functional>
#include <memory>

namespace settings::panes::audio {

class AudioWorker {
public:
    virtual ~AudioWorker() = default;
    virtual void post(std::function<void()> job) = 0;
};

// A thread of its own, "settings-audio". When the last owner lets go, jobs not yet begun are dropped and a job in
// progress finishes on its own, without anyone waiting for it.
[[nodiscard]] std::shared_ptr<AudioWorker> start_audio_worker();

// Runs each job at once on the thread that posts it: for tests, which then see every answer in the same sync.
class InlineWorker final : public AudioWorker {
public:
    void post(std::function<void()> job) override { job(); }
};

}  // namespace settings::panes::audio
