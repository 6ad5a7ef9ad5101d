#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace bus {

// The per-thread status variables a back end writes after every call, with
// the driver's registration result codes. Shared by the back ends that keep
// the registration themselves.
class ThreadGlobals {
public:
    std::int32_t registerThread(std::int32_t* sta, std::int32_t* err, std::int32_t* cnt,
                                std::int32_t* cntl);
    std::int32_t unregisterThread();

    // Writes the outcome of one call into the calling thread's variables
    // (if it registered any) and returns the status word.
    std::int32_t publish(std::int32_t sta, std::int32_t err, std::int32_t cnt) const;

    // The calling thread's last published status word, error and count
    // (0 when it registered nothing).
    std::int32_t status() const;
    std::int32_t error() const;
    std::int32_t count() const;

private:
    struct Slots {
        std::int32_t* sta;
        std::int32_t* err;
        std::int32_t* cnt;
        std::int32_t* cntl;
    };
    const Slots* current() const;

    mutable std::mutex mutex_;
    std::unordered_map<std::thread::id, Slots> slots_;
    // The first thread to register is nearly always the only one: its slots
    // are found without the lock. Only that thread writes fastSlots_, and
    // only while fastThread_ does not name it.
    std::atomic<std::thread::id> fastThread_{};
    Slots fastSlots_{};
};

} // namespace bus
