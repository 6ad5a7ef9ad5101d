#include "Vxi11Calls.h"

#include <charconv>

namespace serve::vxi11 {

namespace {

using bus::vxi11::XdrReader;

// The longest device name and SRQ handle VXI-11 lets a client send.
constexpr std::size_t kMaxDeviceName = 256;
constexpr std::size_t kMaxHandle = 40;

bool flag(XdrReader& in, bool& value) {
    std::uint32_t word = 0;
    if (!in.u32(word) || word > 1) return false;
    value = word != 0;
    return true;
}

bool generic(XdrReader& in, CoreCall& c) {
    return in.i32(c.lid) && in.u32(c.flags) && in.u32(c.lockTimeout) && in.u32(c.ioTimeout);
}

bool arguments(XdrReader& in, std::uint32_t procedure, CoreCall& c) {
    std::uint32_t word = 0;
    std::int32_t number = 0;
    switch (procedure) {
    case kNull:
    case kDestroyIntrChan:
        return true;
    case kCreateLink:
        return in.i32(c.clientId) && flag(in, c.lockDevice) && in.u32(c.lockTimeout) &&
               in.opaque(c.device, kMaxDeviceName);
    case kDeviceWrite:
        return in.i32(c.lid) && in.u32(c.ioTimeout) && in.u32(c.lockTimeout) && in.u32(c.flags) &&
               in.opaqueView(c.data, kMaxRecord);
    case kDeviceRead:
        if (!in.i32(c.lid) || !in.u32(c.requestSize) || !in.u32(c.ioTimeout) ||
            !in.u32(c.lockTimeout) || !in.u32(c.flags) || !in.u32(word))
            return false;
        c.termChar = static_cast<char>(word);
        return true;
    case kDeviceReadStb:
    case kDeviceTrigger:
    case kDeviceClear:
    case kDeviceRemote:
    case kDeviceLocal:
        return generic(in, c);
    case kDeviceLock:
        return in.i32(c.lid) && in.u32(c.flags) && in.u32(c.lockTimeout);
    case kDeviceUnlock:
    case kDestroyLink:
        return in.i32(c.lid);
    case kDeviceEnableSrq:
        return in.i32(c.lid) && flag(in, c.enable) && in.opaque(c.handle, kMaxHandle);
    case kDeviceDocmd:
        // cmd, network_order, datasize, then the data.
        return in.i32(c.lid) && in.u32(c.flags) && in.u32(c.ioTimeout) && in.u32(c.lockTimeout) &&
               in.i32(number) && in.u32(word) && in.i32(number) &&
               in.opaqueView(c.data, kMaxRecord);
    case kCreateIntrChan:
        return in.u32(c.hostAddr) && in.u32(c.hostPort) && in.u32(c.progNum) &&
               in.u32(c.progVers) && in.u32(c.progFamily);
    default:
        return false;
    }
}

bool knownProcedure(std::uint32_t p, bool abortChannel) {
    if (abortChannel) return p == kNull || p == kDeviceAbort;
    return p == kNull || (p >= kCreateLink && p <= kDestroyIntrChan && p != 21 && p != 24);
}

bool number(std::string_view text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && !text.empty() && value >= low && value <= high;
}

} // namespace

Decoded decodeCall(std::string_view record, bool abortChannel, CoreCall& call) {
    XdrReader in(record);
    std::string why;
    if (!bus::vxi11::readRpcCall(in, call.rpc, why)) return Decoded::NotACall;
    if (call.rpc.program != (abortChannel ? kAbortProgram : kCoreProgram))
        return Decoded::ProgramUnavailable;
    if (call.rpc.version != kVxi11Version) return Decoded::ProgramMismatch;
    if (!knownProcedure(call.rpc.procedure, abortChannel)) return Decoded::ProcedureUnavailable;
    const bool ok = abortChannel && call.rpc.procedure == kDeviceAbort
                        ? in.i32(call.lid)
                        : arguments(in, call.rpc.procedure, call);
    return ok && in.ok() ? Decoded::Call : Decoded::GarbageArguments;
}

bool parseDeviceName(std::string_view name, int& pad, int& sad) {
    sad = 0;
    if (name == "inst0") {
        pad = -1;
        return true;
    }
    if (name.substr(0, 6) != "gpib0,") return false;
    name.remove_prefix(6);
    const std::size_t comma = name.find(',');
    if (!number(name.substr(0, comma), 0, 30, pad)) return false;
    return comma == std::string_view::npos || number(name.substr(comma + 1), 0, 30, sad);
}

} // namespace serve::vxi11
