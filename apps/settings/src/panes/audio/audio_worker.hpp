#pragma once
// Where the Sound page's system calls run: never on the UI thread. Each call (wpctl, pw-dump, pw-metadata) may take
// up to its 5 s time limit; the page posts it here and takes the answer in a later sync.
//
// Jobs run one at a time in the order they were posted, so two changes of the same device never overtake each
// other. A job must own everything it touches (shared backends, values): it may still be running after the page is
// gone.

#include <chrono>
#include <functional>
#include <memory>

namespace settings::panes::audio {

class AudioWorker {
public:
    virtual ~AudioWorker() = default;
    virtual void post(std::function<void()> job) = 0;
};

// How long letting go of a worker waits for a job in progress: first for it to end on its own (a change the user
// asked for is carried out), then, once the tool it runs has been stopped, for it to return.
struct WorkerStopWait {
    std::chrono::milliseconds own_end{250};
    std::chrono::milliseconds after_stop{2000};
};

// A thread of its own, "settings-audio". When the last owner lets go, jobs not yet begun are dropped; a job in
// progress is given `wait.own_end` to finish, then the tool it runs is stopped through the command runner (its
// process group gets SIGTERM, SIGKILL after the kill grace) and the thread is joined once the job returns. A job that
// still has not returned after `wait.after_stop` (it waits for something other than a tool) is left to end on its
// own. So no job of the page outlives it in the normal case, not even into the program's end.
[[nodiscard]] std::shared_ptr<AudioWorker> start_audio_worker(WorkerStopWait wait = {});

// Runs each job at once on the thread that posts it: for tests, which then see every answer in the same sync.
class InlineWorker final : public AudioWorker {
public:
    void post(std::function<void()> job) override { job(); }
};

}  // namespace settings::panes::audio
