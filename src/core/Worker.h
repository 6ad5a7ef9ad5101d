#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace core {

// The one thread the console's bus work runs on, so the window's thread stays
// free to repaint and to hear the operator while an answer comes in.
//
// run() hands one task over and returns when it has ended, as if it had run
// in place: what the task threw is thrown again to the caller. The caller's
// thread meanwhile runs the calls the task hands back (a message box must be
// shown, and answered, on the window's thread) and, once the task has taken
// longer than a moment, `whileWaiting` every few milliseconds (the window
// lets its events run there). A short task therefore costs the caller only
// the hand-over and lets no event run.
class Worker {
public:
    Worker();
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // How long a task runs before `whileWaiting` is first called, and how
    // often after that.
    static constexpr std::chrono::milliseconds kGrace{40};
    static constexpr std::chrono::milliseconds kSlice{15};
    // A send cycle hands over two short calls in a row: each side first
    // spins this long for the other before it sleeps, as waking a sleeping
    // thread costs more than most calls on the bench.
    static constexpr std::chrono::microseconds kSpin{100};

    // On the worker itself (a task that runs another) the task runs in place.
    // A second task handed over while one runs (from whileWaiting or a call
    // back) would take the first one's place half-way: the program stops
    // there and then, saying so, rather than mix two bus operations.
    void run(const std::function<void()>& task, const std::function<void()>& whileWaiting = {});

    // From a task: runs `call` on the thread waiting in run() and returns once
    // it has (throwing what it threw). On any other thread it runs at once.
    void callBack(const std::function<void()>& call);

    bool onWorker() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    const std::function<void()>* task_ = nullptr;
    // Written under the mutex, read without it while spinning.
    std::atomic<bool> taskReady_{false};
    std::atomic<bool> taskDone_{false};
    std::exception_ptr taskError_;
    std::atomic<const std::function<void()>*> call_{nullptr};
    bool callDone_ = false;
    std::exception_ptr callError_;
    bool quit_ = false;
    std::thread thread_; // last: starts once everything above is set up
};

} // namespace core
