#include "bus/drivers/ThreadGlobals.h"

namespace bus {

std::int32_t ThreadGlobals::registerThread(std::int32_t* sta, std::int32_t* err,
                                           std::int32_t* cnt, std::int32_t* cntl) {
    if (sta == nullptr || err == nullptr || cnt == nullptr || cntl == nullptr) return -1;
    std::lock_guard lock(mutex_);
    auto [it, inserted] = slots_.try_emplace(std::this_thread::get_id(), Slots{sta, err, cnt, cntl});
    if (inserted) return 0;
    const Slots& s = it->second;
    if (s.sta == sta && s.err == err && s.cnt == cnt && s.cntl == cntl) return 1;
    return 2;
}

std::int32_t ThreadGlobals::unregisterThread() {
    std::lock_guard lock(mutex_);
    slots_.erase(std::this_thread::get_id());
    return 0;
}

const ThreadGlobals::Slots* ThreadGlobals::current() const {
    std::lock_guard lock(mutex_);
    auto it = slots_.find(std::this_thread::get_id());
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
