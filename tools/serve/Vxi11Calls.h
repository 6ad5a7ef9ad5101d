#pragma once

#include "bus/drivers/vxi11/OncRpc.h"

#include <cstdint>
#include <string>
#include <string_view>

// The calls a VXI-11 server takes, decoded from one RPC record without any
// socket, so the decoding can be tested and fuzzed on its own.
namespace serve::vxi11 {

inline constexpr std::uint32_t kCoreProgram = 0x0607AF;
inline constexpr std::uint32_t kAbortProgram = 0x0607B0;
inline constexpr std::uint32_t kInterruptProgram = 0x0607B1;
inline constexpr std::uint32_t kVxi11Version = 1;

enum Procedure : std::uint32_t {
    kNull = 0,
    kDeviceAbort = 1, // abort channel
    kCreateLink = 10,
    kDeviceWrite = 11,
    kDeviceRead = 12,
    kDeviceReadStb = 13,
    kDeviceTrigger = 14,
    kDeviceClear = 15,
    kDeviceRemote = 16,
    kDeviceLocal = 17,
    kDeviceLock = 18,
    kDeviceUnlock = 19,
    kDeviceEnableSrq = 20,
    kDeviceDocmd = 22,
    kDestroyLink = 23,
    kCreateIntrChan = 25,
    kDestroyIntrChan = 26,
    kDeviceIntrSrq = 30, // interrupt channel, server to client
};

enum Flags : std::uint32_t { kWaitLock = 1, kEnd = 8, kTermCharSet = 128 };
enum Reason : std::int32_t { kReasonReqCnt = 1, kReasonChr = 2, kReasonEnd = 4 };

enum ErrorCode : std::int32_t {
    kNoError = 0,
    kSyntaxError = 1,
    kNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kNoChannel = 6,
    kNotSupported = 8,
    kOutOfResources = 9,
    kLocked = 11,
    kNoLockHeld = 12,
    kIoTimeout = 15,
    kIoError = 17,
    kInvalidAddress = 21,
    kAborted = 23,
    kChannelEstablished = 29,
};

// A record may hold at most this much: the largest write plus its header.
inline constexpr std::size_t kMaxRecord = 64u << 20;
// What create_link tells clients to send in one device_write at most.
inline constexpr std::uint32_t kMaxRecvSize = 1u << 20;

// The arguments of any core-channel or abort-channel call, one flat set:
// each procedure fills the fields its arguments have.
struct CoreCall {
    bus::vxi11::RpcCall rpc;
    std::int32_t lid = 0;
    std::int32_t clientId = 0;
    bool lockDevice = false;
    bool enable = false;
    std::uint32_t lockTimeout = 0; // ms
    std::uint32_t ioTimeout = 0;   // ms
    std::uint32_t flags = 0;
    std::uint32_t requestSize = 0;
    char termChar = '\n';
    std::string device;    // create_link
    std::string_view data; // device_write, docmd; a view into the record
    std::string handle;    // device_enable_srq
    std::uint32_t hostAddr = 0, hostPort = 0, progNum = 0, progVers = 0, progFamily = 0;
};

enum class Decoded {
    Call,                 // arguments in the CoreCall
    NotACall,             // drop the record: not an RPC version 2 call
    ProgramUnavailable,   // another program
    ProgramMismatch,      // the program in a version other than 1
    ProcedureUnavailable, // a procedure the program does not have
    GarbageArguments,     // arguments cut short or over their bounds
};

// Decodes one record sent to the core channel (program 0x0607AF) or, with
// abortChannel, to the abort channel (0x0607B0).
Decoded decodeCall(std::string_view record, bool abortChannel, CoreCall& call);

// A device name a link may open: "inst0" (lowest listener), "gpib0,N" or
// "gpib0,N,S". pad -1 stands for inst0. False for any other name.
bool parseDeviceName(std::string_view name, int& pad, int& sad);

} // namespace serve::vxi11
