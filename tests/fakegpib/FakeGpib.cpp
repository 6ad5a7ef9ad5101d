// A stand-in for the system's GPIB library that drives the simulated default
// bench, so the GPIB library back end can be tested through its real loading
// path. It keeps the model of linux-gpib and of NI's 64-bit ni4882.dll: each
// thread's status is read back through ThreadIbsta, ThreadIberr, ThreadIbcnt
// and ThreadIbcntl after a call. Built for Windows it exports the file calls
// under NI's A names, as ni4882.dll does.
//
// Built with FAKEGPIB_WITHOUT_IBRDF it lacks ibrdf, to show how a library
// missing a function is refused.
//
// The FakeGpib* functions let a test script what a real library does on a
// real machine: a board at another address, a board that is not there, a
// read into a file cut short by a time-out.

#include "bus/drivers/SimulatedBus.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#define FAKEGPIB_EXPORT extern "C" __declspec(dllexport)
#define FAKEGPIB_FILE_CALL(name) name##A
#else
#define FAKEGPIB_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKEGPIB_FILE_CALL(name) name
#endif

namespace {

struct ThreadStatus {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

// A vendor library's state belongs to the process; this one's ends when the
// library is unloaded, so every load starts from a fresh bench.
std::recursive_mutex mutex;
std::unique_ptr<bus::SimulatedBus> bench = bus::SimulatedBus::defaultBench();
// Node-based, so the addresses registered with the bench stay valid.
std::unordered_map<std::thread::id, ThreadStatus> threads;
int boardAddress = 0;
int startError = -1; // iberr of SendIFC and FindLstn, -1 for none
long startCount = 0;
long readCut = -1; // bytes ibrdf delivers before it times out, -1 for no cut

ThreadStatus& mine() {
    auto [it, first] = threads.try_emplace(std::this_thread::get_id());
    ThreadStatus& s = it->second;
    if (first) bench->RegisterGpibGlobalsForThread(&s.sta, &s.err, &s.cnt, &s.cntl);
    return s;
}

// Runs one call on the bench with the calling thread's status variables
// registered there, so the call's outcome lands in them.
template <class Call> auto run(Call call) {
    std::lock_guard lock(mutex);
    mine();
    return call(*bench);
}

int fail(int iberr, long count, int more = 0) {
    std::lock_guard lock(mutex);
    ThreadStatus& s = mine();
    s = {bus::ERR | bus::CMPL | more, iberr, static_cast<std::int32_t>(count),
         static_cast<std::int32_t>(count)};
    return s.sta;
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

FAKEGPIB_EXPORT void FakeGpibBoard(int address) { std::lock_guard lock(mutex); boardAddress = address; }
FAKEGPIB_EXPORT void FakeGpibFailStart(int iberr, long count) { std::lock_guard lock(mutex); startError = iberr; startCount = count; }
FAKEGPIB_EXPORT void FakeGpibCutReads(long bytes) { std::lock_guard lock(mutex); readCut = bytes; }

FAKEGPIB_EXPORT int ThreadIbsta() { return status().sta; }
FAKEGPIB_EXPORT int ThreadIberr() { return status().err; }
FAKEGPIB_EXPORT int ThreadIbcnt() { return status().cnt; }
FAKEGPIB_EXPORT long ThreadIbcntl() { return status().cntl; }
FAKEGPIB_EXPORT void SendIFC(int board) {
    std::lock_guard lock(mutex);
    if (startError >= 0) fail(startError, startCount); else run([&](bus::Driver& d) { d.SendIFC(board); });
}
ENTRY(int, ibsre, (int ud, int v), ibsre(ud, v))
ENTRY(int, ibdev, (int b, int pad, int sad, int t, int e, int eos), ibdev(b, pad, sad, t, e, eos))
ENTRY(int, ibpad, (int ud, int v), ibpad(ud, v))
ENTRY(int, ibtmo, (int ud, int v), ibtmo(ud, v))
ENTRY(int, ibwait, (int ud, int mask), ibwait(ud, mask))
ENTRY(int, ibwrt, (int ud, const void* buf, long count), ibwrt(ud, buf, narrow(count)))
ENTRY(int, ibrd, (int ud, void* buf, long count), ibrd(ud, buf, narrow(count)))
ENTRY(int, ibrsp, (int ud, char* spr), ibrsp(ud, spr))
ENTRY(void, DevClear, (int board, Addr address), DevClear(board, address))
ENTRY(int, ibonl, (int ud, int v), ibonl(ud, v))
ENTRY(int, FAKEGPIB_FILE_CALL(ibwrtf), (int ud, const char* path), ibwrtfA(ud, path))
// clang-format on

FAKEGPIB_EXPORT int ibask(int ud, int option, int* value) {
    std::lock_guard lock(mutex);
    const int sta = run([&](bus::Driver& d) { return d.ibask(ud, option, value); });
    if (ud == 0 && option == bus::IbaPAD && (sta & bus::ERR) == 0) *value = boardAddress;
    return sta;
}

// Like linux-gpib: the board takes a result entry where its own address is
// probed, wherever that is.
FAKEGPIB_EXPORT void FindLstn(int board, const Addr* pads, Addr* found, int limit) {
    std::lock_guard lock(mutex);
    if (startError >= 0) {
        fail(startError, startCount);
        return;
    }
    if (boardAddress == 0) {
        run([&](bus::Driver& d) { d.FindLstn(board, pads, found, limit); });
        return;
    }
    std::vector<Addr> devices;
    for (const Addr* p = pads; *p != bus::NOADDR; ++p)
        if (*p != 0 && *p != boardAddress) devices.push_back(*p);
    devices.push_back(bus::NOADDR);
    std::vector<Addr> answered(devices.size());
    run([&](bus::Driver& d) { d.FindLstn(board, devices.data(), answered.data(), limit); });
    ThreadStatus& s = mine();
    if (s.sta & bus::ERR) return;
    answered.resize(static_cast<std::size_t>(s.cntl));
    std::int32_t n = 0;
    for (const Addr* p = pads; *p != bus::NOADDR && n < limit; ++p) {
        const bool isBoard = *p == boardAddress;
        if (isBoard || std::find(answered.begin(), answered.end(), *p) != answered.end())
            found[n++] = *p;
    }
    s.cnt = s.cntl = n;
}

#ifndef FAKEGPIB_WITHOUT_IBRDF
// Like linux-gpib: a read into a file that times out counts nothing, though
// the bytes before the time-out are in the file.
FAKEGPIB_EXPORT int FAKEGPIB_FILE_CALL(ibrdf)(int ud, const char* path) {
    std::lock_guard lock(mutex);
    const int sta = run([&](bus::Driver& d) { return d.ibrdfA(ud, path); });
    if (readCut < 0 || (sta & bus::ERR) != 0) return sta;
    std::error_code error;
    if (std::filesystem::file_size(path, error) > static_cast<std::uintmax_t>(readCut))
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(readCut), error);
    return fail(bus::EABO, 0, bus::TIMO);
}
#endif
