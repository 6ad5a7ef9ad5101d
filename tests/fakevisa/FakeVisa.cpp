// A stand-in for the system's VISA library that drives the simulated default
// bench at GPIB0, so the VISA back end is tested through its real loading
// path. Sessions are the bench's descriptors; the manager is 1, the
// interface 2, a search list 3. FakeVisaFailNext makes the next call return
// a given status, as a library might that this program does not know.

#include "bus/drivers/SimulatedBus.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#ifdef _WIN32
#define FAKEVISA_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKEVISA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using Status = std::int32_t;
using U32 = std::uint32_t;
constexpr Status kMaxCount = 0x3FFF0006, kTimeout = static_cast<Status>(0xBFFF0015u),
                 kNoListeners = static_cast<Status>(0xBFFF005Fu),
                 kNotFound = static_cast<Status>(0xBFFF0011u),
                 kBadObject = static_cast<Status>(0xBFFF000Eu);
constexpr U32 kManager = 1, kInterface = 2, kList = 3, kTimeoutAttribute = 0x3FFF001A;

std::mutex mutex;
std::unique_ptr<bus::SimulatedBus> bench = bus::SimulatedBus::defaultBench();
// Each calling thread's status at the bench; node-based, so the addresses
// registered there stay valid.
struct ThreadStatus {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};
std::unordered_map<std::thread::id, ThreadStatus> threads;
ThreadStatus* now = nullptr; // the calling thread's, during a call
std::map<U32, int> pads; // session → address
std::vector<std::string> listed;
Status failNext = 0;

// The bench call under the lock, with this library's status variables.
bus::Driver& d() {
    auto [it, first] = threads.try_emplace(std::this_thread::get_id());
    now = &it->second;
    if (first) bench->RegisterGpibGlobalsForThread(&now->sta, &now->err, &now->cnt, &now->cntl);
    return *bench;
}

// What the bench's status word means in VISA.
Status status(Status success = 0) {
    if (now->sta & bus::TIMO) return kTimeout;
    if (now->sta & bus::ERR) return now->err == bus::ENOL ? kNoListeners : kBadObject;
    return success;
}

#define FAKEVISA_CALL std::lock_guard lock(mutex); \
    if (failNext != 0) return std::exchange(failNext, 0);

} // namespace

FAKEVISA_EXPORT void FakeVisaFailNext(Status next) { std::lock_guard lock(mutex); failNext = next; }

FAKEVISA_EXPORT Status viOpenDefaultRM(U32* rm) { FAKEVISA_CALL *rm = kManager; return 0; }

FAKEVISA_EXPORT Status viFindRsrc(U32, const char*, U32* list, U32* count, char* name) {
    FAKEVISA_CALL
    bus::Addr4882 probes[32], found[31] = {};
    for (int a = 0; a <= 30; ++a) probes[a] = static_cast<bus::Addr4882>(a);
    probes[31] = bus::NOADDR;
    d().FindLstn(0, probes, found, 31);
    listed.clear();
    for (int i = 0; i < now->cntl; ++i)
        if (found[i] != 0) listed.push_back("GPIB0::" + std::to_string(found[i]) + "::INSTR");
    if (listed.empty()) return kNotFound;
    *list = kList;
    *count = static_cast<U32>(listed.size());
    std::strcpy(name, listed.front().c_str());
    listed.erase(listed.begin());
    return 0;
}

FAKEVISA_EXPORT Status viFindNext(U32, char* name) {
    FAKEVISA_CALL
    if (listed.empty()) return kNotFound;
    std::strcpy(name, listed.front().c_str());
    listed.erase(listed.begin());
    return 0;
}

FAKEVISA_EXPORT Status viOpen(U32, const char* name, U32, U32, U32* vi) {
    FAKEVISA_CALL
    int pad = -1;
    if (std::strcmp(name, "GPIB0::INTFC") == 0) return *vi = kInterface, 0;
    if (std::sscanf(name, "GPIB0::%d::INSTR", &pad) != 1) return kNotFound;
    const std::int32_t ud = d().ibdev(0, pad, 0, bus::T1s, 1, 0);
    if (ud <= 0) return kNotFound;
    pads[static_cast<U32>(ud)] = pad;
    return *vi = static_cast<U32>(ud), 0;
}

FAKEVISA_EXPORT Status viClose(U32 object) {
    FAKEVISA_CALL
    if (pads.erase(object) != 0) d().ibonl(static_cast<std::int32_t>(object), 0);
    return 0;
}

FAKEVISA_EXPORT Status viSetAttribute(U32 vi, U32 attribute, std::uintptr_t value) {
    FAKEVISA_CALL
    if (attribute != kTimeoutAttribute || pads.count(vi) == 0) return 0;
    std::int32_t code = bus::T1s;
    for (const auto& [ms, c] : {std::pair{300u, bus::T300ms}, {3000u, bus::T3s}, {10000u, bus::T10s}})
        if (value >= ms) code = c;
    d().ibtmo(static_cast<std::int32_t>(vi), code);
    return status();
}

FAKEVISA_EXPORT Status viWrite(U32 vi, const void* buf, U32 count, U32* written) {
    FAKEVISA_CALL
    d().ibwrt(static_cast<std::int32_t>(vi), buf, static_cast<std::int32_t>(count));
    *written = static_cast<U32>(now->cntl);
    return status();
}

FAKEVISA_EXPORT Status viRead(U32 vi, void* buf, U32 count, U32* read) {
    FAKEVISA_CALL
    d().ibrd(static_cast<std::int32_t>(vi), buf, static_cast<std::int32_t>(count));
    *read = static_cast<U32>(now->cntl);
    return status((now->sta & bus::END) ? 0 : kMaxCount);
}

FAKEVISA_EXPORT Status viReadSTB(U32 vi, std::uint16_t* stb) {
    FAKEVISA_CALL
    char spr[2] = {};
    d().ibrsp(static_cast<std::int32_t>(vi), spr);
    *stb = static_cast<unsigned char>(spr[0]);
    return status();
}

FAKEVISA_EXPORT Status viClear(U32 vi) {
    FAKEVISA_CALL
    d().DevClear(0, static_cast<bus::Addr4882>(pads[vi]));
    return status();
}

FAKEVISA_EXPORT Status viEnableEvent(U32, U32, U32, U32) { FAKEVISA_CALL return 0; }

FAKEVISA_EXPORT Status viWaitOnEvent(U32 vi, U32, U32, U32* type, U32* context) {
    FAKEVISA_CALL
    d().ibwait(static_cast<std::int32_t>(vi), bus::TIMO | bus::RQS);
    *type = 0x3FFF200B;
    *context = 0;
    return (now->sta & bus::RQS) ? 0 : kTimeout;
}

FAKEVISA_EXPORT Status viGpibSendIFC(U32) { FAKEVISA_CALL d().SendIFC(0); return status(); }

FAKEVISA_EXPORT Status viGpibControlREN(U32, std::uint16_t mode) {
    FAKEVISA_CALL
    d().ibsre(0, mode == 1);
    return status();
}
