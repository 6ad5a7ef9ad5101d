#include "core/Worker.h"

#include <cstdio>
#include <cstdlib>

namespace core {

namespace {

template <class Ready> void spinFor(std::chrono::microseconds time, Ready ready) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (!ready() && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
}

// Runs `f`, handing back what it threw instead of throwing it.
std::exception_ptr runCaught(const std::function<void()>& f) {
    try {
        f();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

} // namespace

Worker::Worker() : thread_([this] { loop(); }) {}

Worker::~Worker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Worker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        lock.unlock();
        spinFor(kSpin, [this] { return taskReady_.load(std::memory_order_acquire); });
        lock.lock();
        wake_.wait(lock, [this] { return quit_ || taskReady_.load(); });
        if (quit_) return;
        taskReady_ = false;
        const std::function<void()>* task = task_;
        lock.unlock();
        const std::exception_ptr error = runCaught(*task);
        lock.lock();
        taskError_ = error;
        taskDone_ = true;
        wake_.notify_all();
    }
}

void Worker::run(const std::function<void()>& task, const std::function<void()>& whileWaiting) {
    if (onWorker()) {
        task();
        return;
    }
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    if (task_ != nullptr) {
        std::fputs("vireon: a bus task was handed over while another was running\n", stderr);
        std::abort();
    }
    task_ = &task;
    taskDone_ = false;
    taskError_ = nullptr;
    taskReady_ = true;
    wake_.notify_all();
    lock.unlock();
    spinFor(kSpin, [this] { return taskDone_.load() || call_.load() != nullptr; });
    lock.lock();
    Clock::time_point next = Clock::now() + kGrace;
    for (;;) {
        wake_.wait_until(lock, next,
                         [this] { return taskDone_.load() || call_.load() != nullptr; });
        if (const std::function<void()>* call = call_.load()) {
            lock.unlock();
            const std::exception_ptr error = runCaught(*call);
            lock.lock();
            call_ = nullptr;
            callError_ = error;
            callDone_ = true;
            wake_.notify_all();
            continue;
        }
        if (taskDone_) break;
        if (Clock::now() < next) continue;
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        next = Clock::now() + kSlice;
    }
    task_ = nullptr;
    const std::exception_ptr error = taskError_;
    taskError_ = nullptr;
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

void Worker::callBack(const std::function<void()>& call) {
    if (!onWorker()) {
        call();
        return;
    }
    std::unique_lock lock(mutex_);
    call_ = &call;
    callDone_ = false;
    wake_.notify_all();
    wake_.wait(lock, [this] { return callDone_; });
    callDone_ = false;
    const std::exception_ptr error = callError_;
    callError_ = nullptr;
    lock.unlock();
    if (error) std::rethrow_exception(error);
}

} // namespace core
