// A stand-in for linux-gpib's libgpib.so.0 that drives the simulated default
// bench, so the GPIB library back end can be tested through its real loading
// path. It keeps linux-gpib's model: each thread's status is read back through
// ThreadIbsta, ThreadIberr, ThreadIbcnt and ThreadIbcntl after a call.
//
// Built with FAKEGPIB_WITHOUT_IBRDF it lacks ibrdf, to show how a library
// missing a function is refused.

#include "bus/drivers/SimulatedBus.h"

#include <climits>
#include <mutex>
#include <thread>
#include <unordered_map>

#ifdef _WIN32
#define FAKEGPIB_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKEGPIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct ThreadStatus {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

// A vendor library's state belongs to the process; this one's ends when the
// library is unloaded, so every load starts from a fresh bench.
std::mutex mutex;
std::unique_ptr<bus::SimulatedBus> bench = bus::SimulatedBus::defaultBench();
// Node-based, so the addresses registered with the bench stay valid.
std::unordered_map<std::thread::id, ThreadStatus> threads;

// Runs one call on the bench with the calling thread's status variables
// registered there, so the call's outcome lands in them.
template <class Call> auto run(Call call) {
    std::lock_guard lock(mutex);
    auto [it, first] = threads.try_emplace(std::this_thread::get_id());
    ThreadStatus& s = it->second;
    if (first) bench->RegisterGpibGlobalsForThread(&s.sta, &s.err, &s.cnt, &s.cntl);
    return call(*bench);
}

ThreadStatus status() {
    std::lock_guard lock(mutex);
    auto it = threads.find(std::this_thread::get_id());
    return it == threads.end() ? ThreadStatus{} : it->second;
}

// The library counts in long; the bench in 32 bits.
std::int32_t narrow(long count) {
    return static_cast<std::int32_t>(count > INT32_MAX ? INT32_MAX : count);
}

} // namespace

using Addr = bus::Addr4882;
// clang-format off
#define ENTRY(type, name, params, call) \
    FAKEGPIB_EXPORT type name params { return run([&](bus::Driver& d) { return d.call; }); }

FAKEGPIB_EXPORT int ThreadIbsta() { return status().sta; }
FAKEGPIB_EXPORT int ThreadIberr() { return status().err; }
FAKEGPIB_EXPORT int ThreadIbcnt() { return status().cnt; }
FAKEGPIB_EXPORT long ThreadIbcntl() { return status().cntl; }
ENTRY(void, SendIFC, (int board), SendIFC(board))
ENTRY(int, ibsre, (int ud, int v), ibsre(ud, v))
ENTRY(void, FindLstn, (int b, const Addr* pads, Addr* found, int n), FindLstn(b, pads, found, n))
ENTRY(int, ibdev, (int b, int pad, int sad, int t, int e, int eos), ibdev(b, pad, sad, t, e, eos))
ENTRY(int, ibpad, (int ud, int v), ibpad(ud, v))
ENTRY(int, ibtmo, (int ud, int v), ibtmo(ud, v))
ENTRY(int, ibask, (int ud, int option, int* value), ibask(ud, option, value))
ENTRY(int, ibwait, (int ud, int mask), ibwait(ud, mask))
ENTRY(int, ibwrt, (int ud, const void* buf, long count), ibwrt(ud, buf, narrow(count)))
ENTRY(int, ibrd, (int ud, void* buf, long count), ibrd(ud, buf, narrow(count)))
ENTRY(int, ibrsp, (int ud, char* spr), ibrsp(ud, spr))
ENTRY(void, DevClear, (int board, Addr address), DevClear(board, address))
ENTRY(int, ibonl, (int ud, int v), ibonl(ud, v))
ENTRY(int, ibwrtf, (int ud, const char* path), ibwrtfA(ud, path))
#ifndef FAKEGPIB_WITHOUT_IBRDF
ENTRY(int, ibrdf, (int ud, const char* path), ibrdfA(ud, path))
#endif
