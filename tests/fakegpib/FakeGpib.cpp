// A stand-in for the system's GPIB and VISA libraries that drives the
// simulated default bench, so the GPIB library and VISA back ends are tested
// through their real loading path.
//
// As a GPIB library it keeps the model of linux-gpib and of NI's 64-bit
// ni4882.dll: each thread's status is read back through ThreadIbsta,
// ThreadIberr and ThreadIbcntl after a call. Built for Windows
// it exports the file calls under NI's A names, as ni4882.dll does. As a VISA
// library it serves GPIB0: sessions are the bench's descriptors.
//
// Built with FAKEGPIB_WITHOUT_IBRDF it lacks ibrdf and viClear, to show how a
// library missing a function is refused.
//
// The Fake* functions script what real libraries do on real machines: a
// board that is not there, a read into a file cut short by a time-out, a VISA
// status this program does not know.

#include "bus/drivers/SimulatedBus.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
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
int startError = -1; // iberr of SendIFC, -1 for none
long startCount = 0;
long readCut = -1;               // bytes ibrdf delivers before it times out, -1 for no cut
std::int32_t visaFailure = 0;    // the next VISA call's status, 0 for none
std::vector<std::string> listed; // what viFindNext has still to give

// The calling thread's status, registered with the bench on first use.
ThreadStatus& mine() {
    auto [it, first] = threads.try_emplace(std::this_thread::get_id());
    ThreadStatus& s = it->second;
    if (first) bench->RegisterGpibGlobalsForThread(&s.sta, &s.err, &s.cnt, &s.cntl);
    return s;
}

// Runs one call on the bench, whose outcome lands in the thread's status.
template <class Call> auto run(Call call) {
    std::lock_guard lock(mutex);
    mine();
    return call(*bench);
}

int fail(int iberr, long count, int more = 0) {
    std::lock_guard lock(mutex);
    const auto n = static_cast<std::int32_t>(count);
    return (mine() = {bus::ERR | bus::CMPL | more, iberr, n, n}).sta;
}

// The bench call's outcome as a VISA status.
constexpr std::int32_t kMaxCount = 0x3FFF0006, kTimeout = static_cast<std::int32_t>(0xBFFF0015u),
                       kNoListeners = static_cast<std::int32_t>(0xBFFF005Fu),
                       kNotFound = static_cast<std::int32_t>(0xBFFF0011u),
                       kBadObject = static_cast<std::int32_t>(0xBFFF000Eu);
std::int32_t visa(std::int32_t success = 0) {
    const ThreadStatus& s = mine();
    if (s.sta & bus::TIMO) return kTimeout;
    if (s.sta & bus::ERR) return s.err == bus::ENOL ? kNoListeners : kBadObject;
    return success;
}

} // namespace

using Addr = bus::Addr4882;
using U32 = std::uint32_t;
using I = std::int32_t;
// clang-format off
#define ENTRY(type, name, params, call) \
    FAKEGPIB_EXPORT type name params { return run([&](bus::Driver& d) { return d.call; }); }
// A VISA call: the scripted failure, or the bench's outcome.
#define VISA(name, params, ...) FAKEGPIB_EXPORT I name params { \
    std::lock_guard lock(mutex); \
    if (visaFailure != 0) return std::exchange(visaFailure, 0); \
    bus::Driver& d = *bench; mine(); (void)d; __VA_ARGS__ }

FAKEGPIB_EXPORT void FakeGpibFailStart(int iberr, long count) { std::lock_guard lock(mutex); startError = iberr; startCount = count; }
FAKEGPIB_EXPORT void FakeGpibCutReads(long bytes) { std::lock_guard lock(mutex); readCut = bytes; }
FAKEGPIB_EXPORT void FakeVisaFailNext(I status) { std::lock_guard lock(mutex); visaFailure = status; }

FAKEGPIB_EXPORT int ThreadIbsta() { return run([](bus::Driver&) { return mine().sta; }); }
FAKEGPIB_EXPORT int ThreadIberr() { return run([](bus::Driver&) { return mine().err; }); }
FAKEGPIB_EXPORT long ThreadIbcntl() { return run([](bus::Driver&) { return mine().cntl; }); }
FAKEGPIB_EXPORT void SendIFC(int board) {
    std::lock_guard lock(mutex);
    if (startError >= 0) fail(startError, startCount); else run([&](bus::Driver& d) { d.SendIFC(board); });
}
ENTRY(int, ibsre, (int ud, int v), ibsre(ud, v))
ENTRY(void, FindLstn, (int board, const Addr* pads, Addr* found, int limit), FindLstn(board, pads, found, limit))
ENTRY(int, ibdev, (int b, int pad, int sad, int t, int e, int eos), ibdev(b, pad, sad, t, e, eos))
ENTRY(int, ibpad, (int ud, int v), ibpad(ud, v))
ENTRY(int, ibtmo, (int ud, int v), ibtmo(ud, v))
ENTRY(int, ibask, (int ud, int option, int* value), ibask(ud, option, value))
ENTRY(int, ibwait, (int ud, int mask), ibwait(ud, mask))
ENTRY(int, ibwrt, (int ud, const void* buf, long count), ibwrt(ud, buf, static_cast<I>(count)))
ENTRY(int, ibrd, (int ud, void* buf, long count), ibrd(ud, buf, static_cast<I>(count)))
ENTRY(int, ibrsp, (int ud, char* spr), ibrsp(ud, spr))
ENTRY(void, DevClear, (int board, Addr address), DevClear(board, address))
ENTRY(int, ibclr, (int ud), ibclr(ud))
ENTRY(int, ibonl, (int ud, int v), ibonl(ud, v))
ENTRY(int, FAKEGPIB_FILE_CALL(ibwrtf), (int ud, const char* path), ibwrtfA(ud, path))

VISA(viOpenDefaultRM, (U32* rm), *rm = 1; return 0;)
VISA(viOpen, (U32, const char* name, U32, U32, U32* vi), int pad = -1;
     if (std::strcmp(name, "GPIB0::INTFC") == 0) return *vi = 2, 0;
     if (std::sscanf(name, "GPIB0::%d::INSTR", &pad) != 1) return kNotFound;
     *vi = static_cast<U32>(d.ibdev(0, pad, 0, bus::T1s, 1, 0)); return visa();)
VISA(viClose, (U32), return 0;)
VISA(viSetAttribute, (U32 vi, U32 attribute, std::uintptr_t ms),
     if (attribute != 0x3FFF001A || vi <= 2) return 0;
     d.ibtmo(static_cast<I>(vi), ms < 1000 ? bus::T300ms : ms < 3000 ? bus::T1s : ms < 10000 ? bus::T3s : bus::T10s);
     return visa();)
VISA(viWrite, (U32 vi, const void* buf, U32 n, U32* done), d.ibwrt(static_cast<I>(vi), buf, static_cast<I>(n));
     *done = static_cast<U32>(mine().cntl); return visa();)
VISA(viRead, (U32 vi, void* buf, U32 n, U32* done), d.ibrd(static_cast<I>(vi), buf, static_cast<I>(n));
     *done = static_cast<U32>(mine().cntl); return visa(mine().sta & bus::END ? 0 : kMaxCount);)
VISA(viReadSTB, (U32 vi, std::uint16_t* stb), char spr[2] = {}; d.ibrsp(static_cast<I>(vi), spr);
     *stb = static_cast<unsigned char>(spr[0]); return visa();)
VISA(viEnableEvent, (U32, U32, U32, U32), return 0;)
VISA(viWaitOnEvent, (U32 vi, U32, U32, U32* type, U32* context), d.ibwait(static_cast<I>(vi), bus::TIMO | bus::RQS);
     *type = 0x3FFF200B; *context = 0; return mine().sta & bus::RQS ? 0 : kTimeout;)
VISA(viGpibSendIFC, (U32), d.SendIFC(0); return visa();)
VISA(viGpibControlREN, (U32, std::uint16_t mode), d.ibsre(0, mode == 1); return visa();)
VISA(viFindNext, (U32, char* name), if (listed.empty()) return kNotFound;
     std::strcpy(name, listed.front().c_str()); listed.erase(listed.begin()); return 0;)
VISA(viFindRsrc, (U32, const char*, U32* list, U32* count, char* name),
     Addr probes[32], found[31] = {}; listed.clear();
     for (int a = 0; a <= 30; ++a) probes[a] = static_cast<Addr>(a);
     probes[31] = bus::NOADDR; d.FindLstn(0, probes, found, 31);
     // Not std::to_string: its digit table is a unique symbol, which would keep
     // the library loaded.
     for (int i = 1; i < mine().cntl; ++i) { char text[32]; std::snprintf(text, sizeof text, "GPIB0::%d::INSTR", found[i]); listed.push_back(text); }
     *list = 3; *count = static_cast<U32>(listed.size()); return viFindNext(3, name);)
// clang-format on

#ifndef FAKEGPIB_WITHOUT_IBRDF
VISA(viClear, (U32 vi), I pad = 0; d.ibask(static_cast<I>(vi), 1, &pad);
     d.DevClear(0, static_cast<Addr>(pad)); return visa();)

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
