// Helper threads: the one way the program starts threads of its own.
//
// A thread the system will not create -- under a limit on processes, or
// without memory for its stack -- is never a failure of the work: whoever
// asked for helpers goes on with those that did start, and with none at all
// does the work itself on the calling thread. The results are the same
// either way; only the time they take differs.
#pragma once

#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace quenlet {

// How the work of one file is shared out: all on the calling thread, or with
// helper threads that overlap with the typesetting (reading ahead, writing
// behind, converting, deflating). The bytes are the same either way.
enum class Threading { Inline, Pipelined };

// Starts `thread` running `body`; false when the system cannot start it.
bool tryToStartThread(std::thread& thread, std::function<void()> body);

// Helpers started together, each running the same body, and joined together.
class HelperThreads {
public:
    HelperThreads() = default;
    ~HelperThreads() { join(); }
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;

    // Starts up to `count` helpers running `body`, stopping at the first one
    // the system will not start; returns how many were started.
    std::size_t start(std::size_t count, const std::function<void()>& body);
    std::size_t size() const { return threads_.size(); }
    bool empty() const { return threads_.empty(); }
    // Waits for every helper to end; there are none afterwards.
    void join();

private:
    std::vector<std::thread> threads_;
};

// One piece of work done on a helper thread while the caller goes on, its
// result taken with get() -- or, when no helper can be started, done by get()
// itself. A failure of the work is thrown by get(). Dropping a task waits for
// its helper.
template <typename Result>
class HelperTask {
public:
    explicit HelperTask(std::function<Result()> work) : state_(std::make_unique<State>(std::move(work))) {
        State* state = state_.get();
        tryToStartThread(state->thread, [state] { state->task(); });
    }

    Result get() {
        if (state_->thread.joinable()) state_->thread.join();
        else if (!state_->ran) state_->task();  // no helper: the work is done here
        state_->ran = true;
        return state_->result.get();
    }

private:
    struct State {
        explicit State(std::function<Result()> work) : task(std::move(work)), result(task.get_future()) {}
        ~State() {
            if (thread.joinable()) thread.join();
        }
        std::packaged_task<Result()> task;
        std::future<Result> result;
        std::thread thread;
        bool ran = false;
    };
    std::unique_ptr<State> state_;
};

}  // namespace quenlet
