#include "core/Worker.h"

namespace core {

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
        wake_.wait(lock, [this] { return quit_ || (task_ != nullptr && !taskDone_); });
        if (quit_) return;
        const std::function<void()>* task = task_;
        lock.unlock();
        std::exception_ptr error;
        try {
            (*task)();
        } catch (...) {
            error = std::current_exception();
        }
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
    task_ = &task;
    taskDone_ = false;
    taskError_ = nullptr;
    wake_.notify_all();
    Clock::time_point next = Clock::now() + kGrace;
    for (;;) {
        wake_.wait_until(lock, next, [this] { return taskDone_ || call_ != nullptr; });
        if (call_ != nullptr) {
            const std::function<void()>* call = call_;
            lock.unlock();
            std::exception_ptr error;
            try {
                (*call)();
            } catch (...) {
                error = std::current_exception();
            }
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
