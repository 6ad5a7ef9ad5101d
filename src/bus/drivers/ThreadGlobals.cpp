#include "bus/drivers/ThreadGlobals.h"

namespace bus {

std::int32_t ThreadGlobals::registerThread(std::int32_t* sta, std::int32_t* err,
                                           std::int32_t* cnt, std::int32_t* cntl) {
    if (sta == nullptr || err == nullptr || cnt == nullptr || cntl == nullptr) return -1;
    std::lock_guard lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    auto [it, inserted] = slots_.try_emplace(self, Slots{sta, err, cnt, cntl});
    if (inserted) {
        if (fastThread_.load(std::memory_order_acquire) == std::thread::id{}) {
            fastSlots_ = it->second;
            fastThread_.store(self, std::memory_order_release);
        }
        return 0;
    }
    const Slots& s = it->second;
    if (s.sta == sta && s.err == err && s.cnt == cnt && s.cntl == cntl) return 1;
    return 2;
}

std::int32_t ThreadGlobals::unregisterThread() {
    std::lock_guard lock(mutex_);
    const std::thread::id self = std::this_thread::get_id();
    if (fastThread_.load(std::memory_order_acquire) == self)
        fastThread_.store(std::thread::id{}, std::memory_order_release);
    slots_.erase(self);
    return 0;
}

// The pointer outlives the lock: safe because only a thread itself erases its
// own entry, and map nodes do not move when others are added.
const ThreadGlobals::Slots* ThreadGlobals::current() const {
    const std::thread::id self = std::this_thread::get_id();
    if (fastThread_.load(std::memory_order_acquire) == self) return &fastSlots_;
    std::lock_guard lock(mutex_);
    auto it = slots_.find(self);
    return it == slots_.end() ? nullptr : &it->second;
}

std::int32_t ThreadGlobals::publish(std::int32_t sta, std::int32_t err, std::int32_t cnt) const {
    if (const Slots* s = current()) {
        *s->sta = sta;
        *s->err = err;
        *s->cnt = cnt;
        *s->cntl = cnt;
    }
    return sta;
}

std::int32_t ThreadGlobals::status() const {
    const Slots* s = current();
    return s ? *s->sta : 0;
}
std::int32_t ThreadGlobals::error() const {
    const Slots* s = current();
    return s ? *s->err : 0;
}
std::int32_t ThreadGlobals::count() const {
    const Slots* s = current();
    return s ? *s->cntl : 0;
}

} // namespace bus
