#include "bus/drivers/TransferMonitor.h"

#include <algorithm>

namespace bus {

TransferMonitor::TransferMonitor(Driver& inner) : inner_(inner) {
    inner_.watchTransfers(this);
}

TransferMonitor::~TransferMonitor() {
    inner_.watchTransfers(nullptr);
}

void TransferMonitor::reset() {
    bytes_.store(0, std::memory_order_release);
    stop_.store(false, std::memory_order_release);
}

void TransferMonitor::count(std::uint64_t bytes) {
    const std::uint64_t total = bytes_.fetch_add(bytes, std::memory_order_acq_rel) + bytes;
    if (total < stopAt_.load(std::memory_order_acquire)) return;
    stopAt_.store(kNever, std::memory_order_release);
    requestStop();
}

void TransferMonitor::moved(std::uint64_t bytes) {
    count(bytes);
}

bool TransferMonitor::abort(std::int32_t& status) {
    if (!stopRequested()) return false;
    status = registered_.publish(ERR | CMPL, EABO, 0);
    return true;
}

std::int32_t TransferMonitor::RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                           std::int32_t* ibcnt,
                                                           std::int32_t* ibcntl) {
    const std::int32_t result = inner_.RegisterGpibGlobalsForThread(ibsta, iberr, ibcnt, ibcntl);
    if (result == 0 || result == 1) {
        registered_.unregisterThread();
        registered_.registerThread(ibsta, iberr, ibcnt, ibcntl);
    }
    return result;
}

std::int32_t TransferMonitor::UnregisterGpibGlobalsForThread() {
    registered_.unregisterThread();
    return inner_.UnregisterGpibGlobalsForThread();
}

std::int32_t TransferMonitor::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    const std::int32_t status = inner_.ibwrt(ud, buf, cnt);
    count(static_cast<std::uint64_t>(std::max(registered_.count(), 0)));
    return status;
}

std::int32_t TransferMonitor::quieten(std::int32_t ud) {
    const std::int32_t status = registered_.status();
    const std::int32_t error = registered_.error();
    const std::int32_t moved = registered_.count();
    inner_.ibclr(ud);
    return registered_.publish(status, error, moved);
}

std::int32_t TransferMonitor::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    std::int32_t status = 0;
    if (abort(status)) return quieten(ud);
    status = inner_.ibrd(ud, buf, cnt);
    count(static_cast<std::uint64_t>(std::max(registered_.count(), 0)));
    return status;
}

std::int32_t TransferMonitor::ibwrtfA(std::int32_t ud, const char* filename) {
    std::int32_t status = 0;
    if (abort(status)) return quieten(ud);
    status = inner_.ibwrtfA(ud, filename);
    return stopRequested() ? quieten(ud) : status;
}

std::int32_t TransferMonitor::ibrdfA(std::int32_t ud, const char* filename) {
    std::int32_t status = 0;
    if (abort(status)) return quieten(ud);
    status = inner_.ibrdfA(ud, filename);
    return stopRequested() ? quieten(ud) : status;
}

} // namespace bus
