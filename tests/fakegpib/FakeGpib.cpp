// A stand-in for linux-gpib's libgpib.so.0 that drives the simulated default
// bench, so the GPIB library back end can be tested through its real loading
// path. It keeps linux-gpib's model: each thread's status is read back through
// ThreadIbsta, ThreadIberr, ThreadIbcnt and ThreadIbcntl after a call.
//
// Built with FAKEGPIB_WITHOUT_IBRDF it lacks ibrdf, to show how a library
// missing a function is refused.

#include "bus/Driver.h"
#include "bus/drivers/SimulatedBus.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#ifdef _WIN32
#define FAKEGPIB_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKEGPIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using Addr4882_t = std::uint16_t;

struct ThreadStatus {
    std::int32_t sta = 0;
    std::int32_t err = 0;
    std::int32_t cnt = 0;
    std::int32_t cntl = 0;
};

// Everything the library knows. A vendor library's state belongs to the
// process; this one's ends when the library is unloaded, so every load starts
// from a fresh bench.
class FakeLibrary {
public:
    // Runs one call on the bench with the calling thread's status variables
    // registered there, so the call's outcome lands in them.
    template <class Call> auto run(Call call) {
        std::lock_guard lock(mutex_);
        auto [it, first] = threads_.try_emplace(std::this_thread::get_id());
        if (first) {
            ThreadStatus& s = it->second;
            bench_->RegisterGpibGlobalsForThread(&s.sta, &s.err, &s.cnt, &s.cntl);
        }
        return call(*bench_);
    }

    ThreadStatus status() const {
        std::lock_guard lock(mutex_);
        auto it = threads_.find(std::this_thread::get_id());
        return it == threads_.end() ? ThreadStatus{} : it->second;
    }

private:
    mutable std::mutex mutex_;
    std::unique_ptr<bus::SimulatedBus> bench_ = bus::SimulatedBus::defaultBench();
    // Node-based, so the addresses registered with the bench stay valid.
    std::unordered_map<std::thread::id, ThreadStatus> threads_;
};

FakeLibrary& library() {
    static FakeLibrary instance;
    return instance;
}

// The library counts in long; the bench in 32 bits.
std::int32_t narrowCount(long count) {
    if (count > INT32_MAX) return INT32_MAX;
    if (count < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(count);
}

} // namespace

FAKEGPIB_EXPORT int ThreadIbsta() {
    return library().status().sta;
}
FAKEGPIB_EXPORT int ThreadIberr() {
    return library().status().err;
}
FAKEGPIB_EXPORT int ThreadIbcnt() {
    return library().status().cnt;
}
FAKEGPIB_EXPORT long ThreadIbcntl() {
    return library().status().cntl;
}

FAKEGPIB_EXPORT void SendIFC(int board) {
    library().run([&](bus::Driver& d) { d.SendIFC(board); });
}

FAKEGPIB_EXPORT int ibsre(int ud, int v) {
    return library().run([&](bus::Driver& d) { return d.ibsre(ud, v); });
}

FAKEGPIB_EXPORT void FindLstn(int board, const Addr4882_t padList[], Addr4882_t resultList[],
                              int maxNumResults) {
    library().run([&](bus::Driver& d) { d.FindLstn(board, padList, resultList, maxNumResults); });
}

FAKEGPIB_EXPORT int ibdev(int board, int pad, int sad, int timo, int send_eoi, int eosmode) {
    return library().run(
        [&](bus::Driver& d) { return d.ibdev(board, pad, sad, timo, send_eoi, eosmode); });
}

FAKEGPIB_EXPORT int ibpad(int ud, int v) {
    return library().run([&](bus::Driver& d) { return d.ibpad(ud, v); });
}

FAKEGPIB_EXPORT int ibtmo(int ud, int v) {
    return library().run([&](bus::Driver& d) { return d.ibtmo(ud, v); });
}

FAKEGPIB_EXPORT int ibask(int ud, int option, int* value) {
    return library().run([&](bus::Driver& d) { return d.ibask(ud, option, value); });
}

FAKEGPIB_EXPORT int ibwait(int ud, int mask) {
    return library().run([&](bus::Driver& d) { return d.ibwait(ud, mask); });
}

FAKEGPIB_EXPORT int ibwrt(int ud, const void* buf, long count) {
    return library().run([&](bus::Driver& d) { return d.ibwrt(ud, buf, narrowCount(count)); });
}

FAKEGPIB_EXPORT int ibrd(int ud, void* buf, long count) {
    return library().run([&](bus::Driver& d) { return d.ibrd(ud, buf, narrowCount(count)); });
}

FAKEGPIB_EXPORT int ibrsp(int ud, char* spr) {
    return library().run([&](bus::Driver& d) { return d.ibrsp(ud, spr); });
}

FAKEGPIB_EXPORT void DevClear(int board, Addr4882_t address) {
    library().run([&](bus::Driver& d) { d.DevClear(board, address); });
}

FAKEGPIB_EXPORT int ibonl(int ud, int v) {
    return library().run([&](bus::Driver& d) { return d.ibonl(ud, v); });
}

FAKEGPIB_EXPORT int ibwrtf(int ud, const char* file_path) {
    return library().run([&](bus::Driver& d) { return d.ibwrtfA(ud, file_path); });
}

#ifndef FAKEGPIB_WITHOUT_IBRDF
FAKEGPIB_EXPORT int ibrdf(int ud, const char* file_path) {
    return library().run([&](bus::Driver& d) { return d.ibrdfA(ud, file_path); });
}
#endif
