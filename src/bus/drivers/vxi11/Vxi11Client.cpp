#include "bus/drivers/vxi11/Vxi11Client.h"

#include "bus/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <thread>
#include <utility>

namespace bus::vxi11 {

namespace {

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kAbortProgram = 0x0607B0;
constexpr std::uint32_t kInterruptProgram = 0x0607B1;
constexpr std::uint32_t kChannelVersion = 1;

constexpr std::uint32_t kCreateLink = 10;
constexpr std::uint32_t kDeviceWrite = 11;
constexpr std::uint32_t kDeviceRead = 12;
constexpr std::uint32_t kDeviceReadStb = 13;
constexpr std::uint32_t kDeviceClear = 15;
constexpr std::uint32_t kDeviceRemote = 16;
constexpr std::uint32_t kDeviceLocal = 17;
constexpr std::uint32_t kDeviceLock = 18;
constexpr std::uint32_t kDeviceUnlock = 19;
constexpr std::uint32_t kDeviceEnableSrq = 20;
constexpr std::uint32_t kDestroyLink = 23;
constexpr std::uint32_t kCreateIntrChan = 25;
constexpr std::uint32_t kDestroyIntrChan = 26;
constexpr std::uint32_t kDeviceAbort = 1;

constexpr std::uint32_t kFlagWaitLock = 0x01;
constexpr std::uint32_t kFlagEnd = 0x08;
constexpr std::uint32_t kFlagTermChrSet = 0x80;
constexpr std::int32_t kReasonChr = 0x02;
constexpr std::int32_t kReasonEnd = 0x04;

constexpr std::int32_t kErrorIoTimeout = 15;
constexpr std::int32_t kErrorIoError = 17;
constexpr std::int32_t kErrorInvalidLink = 4;
constexpr std::int32_t kErrorNotAccessible = 3;
constexpr std::int32_t kErrorAbort = 23;
constexpr std::int32_t kErrorChannelExists = 29;
constexpr std::int32_t kErrorUnsupported = 8;

// The console's end-of-string setting: the character and "a read ends there".
constexpr std::int32_t kEosEndsRead = 0x400;
// How often a read that may be stopped looks whether it is to stop, and how
// long the abort channel may take to answer.
constexpr int kStopLookMs = 100;
constexpr int kAbortMs = 1000;
constexpr int kAbortRepeatMs = 200;
// How often a wait for service polls even with the interrupt channel.
constexpr int kSafetyPollMs = 1000;
// Replies of the portmapper and the abort channel are a few words.
constexpr std::size_t kSmallRecord = 4096;
constexpr std::size_t kReceiveChunk = 256 * 1024;
constexpr std::string_view kHandlePrefix = "vireon:";

bool isGpibInterface(std::string_view device) {
    return startsWithIgnoringCase(device, "gpib") &&
           std::all_of(device.begin() + 4, device.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// One RPC over `pipe`: sends the call and reads records until the reply
// with its xid comes, by `until`. Replies to other calls are skipped. With a
// stop watcher, `onStop` runs when a stop is asked for, and again each
// kAbortRepeatMs while the reply does not come (an abort that reaches the
// server before the call it is for is lost); the wait goes on for the reply.
bool exchange(adapter::Transport& pipe, RecordReader& records, std::uint32_t xid,
              std::uint32_t program, std::uint32_t procedure, const XdrWriter& args,
              std::chrono::steady_clock::time_point until, RpcResults& results, std::string& what,
              const std::function<bool()>& stopAsked = {},
              const std::function<void()>& onStop = {}) {
    std::string message = rpcCall(xid, program, kChannelVersion, procedure).take();
    message += args.bytes();
    const std::string record = recordOf(message);
    if (!pipe.send(record.data(), record.size(), std::max(remainingMs(until), 1))) {
        what = "the connection dropped while the call was sent";
        return false;
    }
    thread_local std::string chunk;
    chunk.resize(kReceiveChunk);
    bool stopped = false;
    auto nextStop = std::chrono::steady_clock::now();
    for (;;) {
        std::string got, error;
        const RecordReader::Status status = records.next(got, error);
        if (status == RecordReader::Status::Failed) {
            what = error;
            return false;
        }
        if (status == RecordReader::Status::Record) {
            XdrReader in(got);
            const ReplyCheck check = readRpcReply(in, xid, error);
            if (check == ReplyCheck::Failed) {
                what = error;
                return false;
            }
            if (check == ReplyCheck::Results) {
                // The results stay where they are: a block of megabytes is
                // not moved once more.
                results.at = got.size() - in.left();
                results.record = std::move(got);
                return true;
            }
            continue; // another call's reply
        }
        if (stopAsked && std::chrono::steady_clock::now() >= nextStop && (stopped || stopAsked())) {
            stopped = true;
            onStop();
            nextStop = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbortRepeatMs);
        }
        const int left = remainingMs(until);
        if (left == 0) {
            what = records.pending() > 0 ? "the reply was cut short" : "no reply";
            return false;
        }
        const long n = pipe.receive(chunk.data(), chunk.size(),
                                    stopAsked ? std::min(left, kStopLookMs) : left);
        if (n < 0) {
            what = "the connection dropped";
            return false;
        }
        records.feed(chunk.data(), static_cast<std::size_t>(n));
    }
}

} // namespace

std::string vxi11ErrorName(std::int32_t code) {
    switch (code) {
    case 0:
        return "no error";
    case 1:
        return "syntax error";
    case 3:
        return "device not accessible";
    case 4:
        return "invalid link identifier";
    case 5:
        return "parameter error";
    case 6:
        return "channel not established";
    case 8:
        return "operation not supported";
    case 9:
        return "out of resources";
    case 11:
        return "device locked by another link";
    case 12:
        return "no lock held by this link";
    case 15:
        return "I/O timeout";
    case 17:
        return "I/O error";
    case 21:
        return "invalid address";
    case 23:
        return "abort";
    case 29:
        return "channel already established";
    default:
        return "error " + std::to_string(code);
    }
}

Vxi11Client::Vxi11Client(std::string host, int pmapPort, std::string device, Connector connect,
                         bool srq)
    : host_(std::move(host)), pmapPort_(pmapPort), device_(std::move(device)),
      gateway_(isGpibInterface(device_)), connect_(std::move(connect)), wantSrq_(srq) {}

std::unique_ptr<Vxi11Client> Vxi11Client::open(const std::string& args, std::string& error) {
    return openWith(
        args,
        [](const std::string& host, int port, std::string& why) {
            adapter::AdapterAddress address;
            address.host = host;
            address.tcpPort = port;
            return adapter::openTransport(address, why);
        },
        true, error);
}

std::unique_ptr<Vxi11Client> Vxi11Client::openWith(const std::string& args, Connector connect,
                                                   bool srq, std::string& error) {
    // The device follows the first '/' after the host (an IPv6 host is in
    // brackets and has no '/').
    std::string where = args, device = "inst0";
    const std::size_t hostEnd = !args.empty() && args.front() == '[' ? args.find(']') : 0;
    const std::size_t slash =
        hostEnd == std::string::npos ? std::string::npos : args.find('/', hostEnd);
    if (slash != std::string::npos) {
        device = args.substr(slash + 1);
        where = args.substr(0, slash);
        if (device.empty()) {
            error = args + ": no device name after '/'";
            return nullptr;
        }
    }
    const adapter::AdapterAddress address =
        adapter::parseAdapterAddress(where, kDefaultPortmapperPort, error);
    if (!error.empty()) return nullptr;
    if (address.serial) {
        error = where + ": VXI-11 needs a host name or address, not a serial port";
        return nullptr;
    }
    std::unique_ptr<Vxi11Client> client(
        new Vxi11Client(address.host, address.tcpPort, device, std::move(connect), srq));
    client->startCall(2 * kCommandMs);
    if (!client->connect()) {
        error = client->lastError_;
        return nullptr;
    }
    return client;
}

Vxi11Client::~Vxi11Client() {
    if (!core_) return;
    // Back to local, and the server's links and channel freed, within one
    // command's time.
    startCall(kCommandMs);
    for (const auto& [key, link] : links_) {
        XdrWriter generic;
        generic.i32(link.id).u32(0).u32(0).u32(kCommandMs - kSilenceMarginMs);
        XdrWriter id;
        id.i32(link.id);
        if (simpleCall("device_local " + link.device, kDeviceLocal, generic) < 0 ||
            (locking_ && simpleCall("device_unlock " + link.device, kDeviceUnlock, id) < 0) ||
            simpleCall("destroy_link " + link.device, kDestroyLink, id) < 0)
            return;
    }
    if (srqChannel_) simpleCall("destroy_intr_chan", kDestroyIntrChan, XdrWriter());
}

std::string Vxi11Client::description() const {
    return "VXI-11 " + device_ + " on " + host_;
}

std::string Vxi11Client::startupAdvice(std::int32_t iberr, std::int32_t) {
    if (iberr != ENEB || core_) return {};
    return lastError_ + ".";
}

void Vxi11Client::setLocking(bool on) {
    if (on == locking_) return;
    locking_ = on;
    startCall(kCommandMs);
    for (const auto& [key, link] : links_) {
        XdrWriter args;
        if (on) {
            args.i32(link.id).u32(kFlagWaitLock).u32(kCommandMs - kSilenceMarginMs);
        } else {
            args.i32(link.id);
        }
        if (simpleCall((on ? "device_lock " : "device_unlock ") + link.device,
                       on ? kDeviceLock : kDeviceUnlock, args) < 0)
            return;
    }
}

int Vxi11Client::leftMs() const {
    return remainingMs(deadline_);
}

bool Vxi11Client::connect() {
    const std::string pmap = host_ + ":" + std::to_string(pmapPort_);
    std::string error;
    std::unique_ptr<adapter::Transport> portmapper = connect_(host_, pmapPort_, error);
    if (!portmapper) {
        lastError_ = "VXI-11 " + host_ + ": the portmapper: " + error;
        return false;
    }
    XdrWriter args;
    args.u32(kCoreProgram).u32(kChannelVersion).u32(kProtocolTcp).u32(0);
    std::string message =
        rpcCall(xid_++, kPortmapperProgram, kPortmapperVersion, kPortmapperGetPort).take();
    // exchange() sends program version 1; the portmapper's is 2, so its
    // call is made here.
    message += args.bytes();
    const std::string record = recordOf(message);
    const std::uint32_t xid = xid_ - 1;
    RecordReader replies(kSmallRecord);
    std::string results, what;
    bool sent = portmapper->send(record.data(), record.size(), std::max(leftMs(), 1));
    for (bool done = !sent; !done;) {
        std::string got;
        const auto status = replies.next(got, what);
        if (status == RecordReader::Status::Failed) break;
        if (status == RecordReader::Status::Record) {
            XdrReader in(got);
            const ReplyCheck check = readRpcReply(in, xid, what);
            if (check == ReplyCheck::Failed) break;
            if (check == ReplyCheck::Results) {
                results.assign(got, got.size() - in.left());
                done = true;
            }
            continue;
        }
        char chunk[512];
        const long n = leftMs() > 0 ? portmapper->receive(chunk, sizeof chunk, leftMs()) : -1;
        if (n < 0) {
            what = leftMs() > 0 ? "the connection dropped" : "no reply";
            break;
        }
        replies.feed(chunk, static_cast<std::size_t>(n));
    }
    if (!sent) what = "the connection dropped";
    XdrReader in(results);
    std::uint32_t port = 0;
    if (results.empty() || !in.u32(port)) {
        lastError_ = "VXI-11 " + host_ + ": GETPORT at the portmapper " + pmap + ": " +
                     (what.empty() ? "a reply too short" : what);
        return false;
    }
    if (port == 0 || port > 65535) {
        lastError_ = "VXI-11 " + host_ + ": GETPORT at the portmapper " + pmap +
                     ": no VXI-11 core channel is registered there (port " + std::to_string(port) +
                     ")";
        return false;
    }
    core_ = connect_(host_, static_cast<int>(port), error);
    if (!core_) {
        lastError_ = "VXI-11 " + host_ + ": the core channel: " + error;
        return false;
    }
    records_.reset();
    if (wantSrq_) openSrqChannel();
    return core_ != nullptr;
}

void Vxi11Client::drop() {
    core_.reset();
    abort_.reset();
    records_.reset();
    links_.clear();
    srqChannel_ = false;
    polled_.fill(std::nullopt);
}

AdapterDriver::Result Vxi11Client::lost(const std::string& step, const std::string& what) {
    lastError_ = "VXI-11 " + host_ + ": " + step + ": " + what;
    drop();
    return Result::failed(ENEB);
}

bool Vxi11Client::call(const std::string& step, std::uint32_t procedure, const XdrWriter& args,
                       RpcResults& results, const Link* abortLink) {
    if (!core_) return false;
    std::string what;
    const bool stoppable = abortLink != nullptr && stopWatched();
    const Link abortFor = abortLink != nullptr ? *abortLink : Link{};
    if (exchange(*core_, records_, xid_++, kCoreProgram, procedure, args, deadline_, results, what,
                 stoppable ? std::function<bool()>([this] { return stopRequested(); })
                           : std::function<bool()>(),
                 [this, &abortFor] { sendAbort(abortFor); }))
        return true;
    lost(step, what);
    return false;
}

std::int32_t Vxi11Client::simpleCall(const std::string& step, std::uint32_t procedure,
                                     const XdrWriter& args) {
    RpcResults results;
    if (!call(step, procedure, args, results)) return -1;
    XdrReader in(results);
    std::int32_t code = 0;
    if (!in.i32(code) || code < 0) {
        lost(step, "a reply that is not a Device_Error");
        return -1;
    }
    return code;
}

void Vxi11Client::sendAbort(const Link& link) {
    // At most kAbortMs, and never past the call's own deadline.
    const auto until = std::min(deadline_, Clock::now() + std::chrono::milliseconds(kAbortMs));
    std::string error;
    if (!abort_) abort_ = connect_(host_, static_cast<int>(link.abortPort), error);
    if (!abort_) return;
    XdrWriter args;
    args.i32(link.id);
    RecordReader replies(kSmallRecord);
    RpcResults results;
    // A lost abort channel is opened again on the next stop; the read's own
    // reply decides how the read ends.
    if (!exchange(*abort_, replies, xid_++, kAbortProgram, kDeviceAbort, args, until, results,
                  error))
        abort_.reset();
}

std::string Vxi11Client::deviceFor(std::int32_t pad, std::int32_t sad) const {
    if (!gateway_) return device_;
    std::string device = device_ + "," + std::to_string(pad);
    // Gateways number secondary addresses 0 to 30; the console's are 96 up.
    if (sad != 0) device += "," + std::to_string(sad - 0x60);
    return device;
}

const Vxi11Client::Link* Vxi11Client::linkFor(std::int32_t pad, std::int32_t sad, int ioTimeoutMs) {
    const int key = keyOf(pad, sad);
    if (const auto it = links_.find(key); it != links_.end()) return &it->second;
    if (!gateway_ && (pad != 1 || sad != 0)) {
        lastError_ = "VXI-11 " + host_ + ": " + device_ + " is one instrument, at address 1";
        return nullptr;
    }
    const std::string device = deviceFor(pad, sad);
    const std::string step = "create_link " + device;
    XdrWriter args;
    args.i32(1).u32(0).u32(0).opaque(device);
    RpcResults results;
    if (!call(step, kCreateLink, args, results)) return nullptr;
    XdrReader in(results);
    Link link;
    std::int32_t code = 0;
    if (!in.i32(code) || !in.i32(link.id) || !in.u32(link.abortPort) || !in.u32(link.maxRecvSize)) {
        lost(step, "a reply too short");
        return nullptr;
    }
    if (code != 0) {
        lastError_ = "VXI-11 " + host_ + ": " + step + ": " + vxi11ErrorName(code);
        return nullptr;
    }
    link.device = device;
    // A server that names no size takes the smallest VXI-11 allows.
    if (link.maxRecvSize == 0) link.maxRecvSize = 1024;
    const Link& made = links_[key] = link;
    XdrWriter generic;
    generic.i32(made.id).u32(locking_ ? kFlagWaitLock : 0).u32(ioTimeoutMs).u32(ioTimeoutMs);
    if (locking_ && simpleCall("device_lock " + device, kDeviceLock,
                               XdrWriter().i32(made.id).u32(kFlagWaitLock).u32(ioTimeoutMs)) < 0)
        return nullptr;
    if (remote_ && simpleCall("device_remote " + device, kDeviceRemote, generic) < 0)
        return nullptr;
    return core_ ? &links_[key] : nullptr;
}

void Vxi11Client::openSrqChannel() {
    std::string error;
    if (!srq_) srq_ = listenForSrq(host_, error);
    if (!srq_) return;
    XdrWriter args;
    args.u32(srq_->address())
        .u32(static_cast<std::uint32_t>(srq_->port()))
        .u32(kInterruptProgram)
        .u32(kChannelVersion)
        .u32(0); // TCP
    const std::int32_t code = simpleCall("create_intr_chan", kCreateIntrChan, args);
    srqChannel_ = code == 0 || code == kErrorChannelExists;
}

bool Vxi11Client::enableSrq(Link& link, int key) {
    XdrWriter args;
    args.i32(link.id).u32(1).opaque(std::string(kHandlePrefix) + std::to_string(key));
    const std::int32_t code =
        simpleCall("device_enable_srq " + link.device, kDeviceEnableSrq, args);
    // A server that cannot send this device's requests is polled instead;
    // a lost connection took the link with it.
    if (code > 0) srqChannel_ = false;
    if (code != 0) return false;
    link.srqEnabled = true;
    return true;
}

std::int32_t Vxi11Client::readStb(const Link& link, int ioTimeoutMs, std::uint8_t& status) {
    XdrWriter args;
    args.i32(link.id).u32(0).u32(0).u32(static_cast<std::uint32_t>(ioTimeoutMs));
    const std::string step = "device_readstb " + link.device;
    RpcResults results;
    if (!call(step, kDeviceReadStb, args, results)) return -1;
    XdrReader in(results);
    std::int32_t code = 0;
    std::uint32_t stb = 0;
    if (!in.i32(code) || !in.u32(stb) || code < 0) {
        lost(step, "a reply too short");
        return -1;
    }
    status = static_cast<std::uint8_t>(stb);
    return code;
}

AdapterDriver::Result Vxi11Client::failure(const std::string& step, std::int32_t code,
                                           std::size_t count) {
    lastError_ = "VXI-11 " + host_ + ": " + step + ": " + vxi11ErrorName(code);
    switch (code) {
    case kErrorIoTimeout:
        return Result::timeout(count);
    case kErrorAbort:
        return Result::failed(EABO, count);
    case kErrorNotAccessible:
    case kErrorIoError:
        return Result::failed(ENOL, count);
    case kErrorUnsupported:
        return Result::failed(ECAP, count);
    case kErrorInvalidLink: {
        // The server forgot the link: a new connection makes it again.
        const std::string why = vxi11ErrorName(code);
        lost(step, why);
        return Result::failed(ENEB, count);
    }
    default:
        return Result::failed(EDVR, count);
    }
}

AdapterDriver::Result Vxi11Client::interfaceClear() {
    // A LAN link has no interface clear of its own; the call connects, so an
    // unreachable host shows at start-up.
    startCall(kCommandMs);
    return ready() ? Result::ok() : Result::failed(ENEB);
}

AdapterDriver::Result Vxi11Client::remoteEnable(bool on) {
    startCall(kCommandMs);
    remote_ = on;
    if (!ready()) return Result::failed(ENEB);
    for (const auto& [key, link] : links_) {
        XdrWriter args;
        args.i32(link.id).u32(0).u32(0).u32(kCommandMs - kSilenceMarginMs);
        if (simpleCall((on ? "device_remote " : "device_local ") + link.device,
                       on ? kDeviceRemote : kDeviceLocal, args) < 0)
            return Result::failed(ENEB);
    }
    return Result::ok();
}

bool Vxi11Client::findListeners(std::array<bool, kMaxAddress + 1>& found) {
    startCall(kCommandMs);
    // A lost connection is made again once, here; FindLstn ends at once
    // when that fails.
    if (!ready() || gateway_) return false;
    found.fill(false);
    found[1] = linkFor(1, 0, kProbeTimeoutMs) != nullptr;
    return true;
}

bool Vxi11Client::listening(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    if (!ready()) return false;
    if (!gateway_) return pad == 1 && sad == 0 && linkFor(pad, sad, kProbeTimeoutMs) != nullptr;
    const bool known = links_.count(keyOf(pad, sad)) > 0;
    const Link* link = linkFor(pad, sad, kProbeTimeoutMs);
    bool there = false;
    if (link != nullptr) {
        // Only a device that is there answers a serial poll; a request for
        // service it held is kept for the next poll.
        std::uint8_t status = 0;
        const Link probed = *link;
        const std::int32_t code = readStb(probed, kProbeTimeoutMs, status);
        there = code == 0;
        if (there && (status & 0x40) != 0 && sad == 0) polled(pad) = status;
        if (!there && code > 0 && !known) {
            XdrWriter id;
            id.i32(probed.id);
            links_.erase(keyOf(pad, sad));
            simpleCall("destroy_link " + probed.device, kDestroyLink, id);
        }
    }
    if (sad == 0 && core_) present_[static_cast<std::size_t>(pad)] = there ? 1 : -1;
    return there;
}

AdapterDriver::Result Vxi11Client::write(const Target& target, const char* data, std::size_t size,
                                         bool end) {
    const int ms = timeoutMs(target.tmo);
    startCall(ms + kSilenceMarginMs);
    if (!ready()) return Result::failed(ENEB);
    const Link* found = linkFor(target.pad, target.sad, ms);
    if (found == nullptr) return Result::failed(core_ ? ENOL : ENEB);
    const Link link = *found;
    polled(target.pad).reset();
    const std::string step = "device_write " + link.device;
    std::size_t sent = 0;
    do {
        // The server takes at most maxRecvSize at once; END goes with the
        // last piece only.
        const std::size_t piece = std::min<std::size_t>(size - sent, link.maxRecvSize);
        const bool last = sent + piece == size;
        const int ioMs = std::max(leftMs() - kSilenceMarginMs, 0);
        XdrWriter args;
        args.i32(link.id)
            .u32(static_cast<std::uint32_t>(ioMs))
            .u32(0)
            .u32(last && end ? kFlagEnd : 0)
            .opaque(std::string_view(data + sent, piece));
        RpcResults results;
        if (!call(step, kDeviceWrite, args, results)) return Result::failed(ENEB, sent);
        XdrReader in(results);
        std::int32_t code = 0;
        std::uint32_t taken = 0;
        if (!in.i32(code) || !in.u32(taken) || taken > piece)
            return lost(step, "a reply that does not fit the write"), Result::failed(ENEB, sent);
        sent += taken;
        if (code != 0) return failure(step, code, sent);
        if (sent < size && leftMs() <= kSilenceMarginMs) return Result::timeout(sent);
    } while (sent < size);
    return Result::ok(size);
}

AdapterDriver::Result Vxi11Client::read(const Target& target, char* buffer, std::size_t size) {
    const int ms = timeoutMs(target.tmo);
    startCall(ms + kSilenceMarginMs);
    if (!ready()) return Result::failed(ENEB);
    const Link* found = linkFor(target.pad, target.sad, ms);
    if (found == nullptr) return Result::failed(core_ ? ENOL : ENEB);
    const Link link = *found;
    const std::string step = "device_read " + link.device;
    const bool toEos = (target.eos & kEosEndsRead) != 0;
    std::size_t count = 0;
    do {
        // A reply brings at most what was asked for, so only the room left
        // is asked for.
        const std::size_t request = std::min(size - count, kMaxReadRequest);
        const int ioMs = std::max(leftMs() - kSilenceMarginMs, 0);
        XdrWriter args;
        args.i32(link.id)
            .u32(static_cast<std::uint32_t>(request))
            .u32(static_cast<std::uint32_t>(ioMs))
            .u32(0)
            .u32(toEos ? kFlagTermChrSet : 0)
            .u32(static_cast<std::uint32_t>(target.eos & 0xFF));
        RpcResults results;
        if (!call(step, kDeviceRead, args, results, &link)) return Result::failed(ENEB, count);
        XdrReader in(results);
        std::int32_t code = 0, reason = 0;
        std::string_view bytes;
        if (!in.i32(code) || !in.i32(reason) || !in.opaqueView(bytes, request))
            return lost(step, "a reply that does not fit the read"), Result::failed(ENEB, count);
        if (!bytes.empty()) std::memcpy(buffer + count, bytes.data(), bytes.size());
        count += bytes.size();
        if (code != 0) return failure(step, code, count);
        if ((reason & (kReasonEnd | kReasonChr)) != 0) return Result::ok(count, true);
        if (count < size && leftMs() <= kSilenceMarginMs) return Result::timeout(count);
    } while (count < size);
    return Result::ok(count);
}

AdapterDriver::Result Vxi11Client::serialPoll(const Target& target, std::uint8_t& statusByte) {
    const int ms = timeoutMs(target.tmo);
    startCall(ms + kSilenceMarginMs);
    if (!ready()) return Result::failed(ENEB);
    if (auto& kept = polled(target.pad)) {
        statusByte = *kept;
        kept.reset();
        return Result::ok(1);
    }
    const Link* found = linkFor(target.pad, target.sad, ms);
    if (found == nullptr) return Result::failed(core_ ? ENOL : ENEB);
    const Link link = *found;
    const std::int32_t code = readStb(link, ms, statusByte);
    if (code < 0) return Result::failed(ENEB);
    if (code != 0) return failure("device_readstb " + link.device, code);
    return Result::ok(1);
}

AdapterDriver::Result Vxi11Client::clear(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    if (!ready()) return Result::failed(ENEB);
    const auto clearLink = [this](const Link& link) {
        XdrWriter args;
        args.i32(link.id).u32(0).u32(0).u32(kCommandMs - kSilenceMarginMs);
        const std::string step = "device_clear " + link.device;
        const std::int32_t code = simpleCall(step, kDeviceClear, args);
        return code < 0 ? Result::failed(ENEB) : code > 0 ? failure(step, code) : Result::ok();
    };
    if (pad == NOADDR) {
        polled_.fill(std::nullopt);
        const std::map<int, Link> links = links_;
        for (const auto& [key, link] : links) {
            if (const Result r = clearLink(link); r.error >= 0) return r;
        }
        return Result::ok();
    }
    const Link* found = linkFor(pad, sad, kCommandMs - kSilenceMarginMs);
    if (found == nullptr) return Result::failed(core_ ? ENOL : ENEB);
    polled(pad).reset();
    return clearLink(Link(*found));
}

bool Vxi11Client::serviceRequest(const Target* target, bool wait) {
    const int waitMs = wait && target != nullptr ? timeoutMs(target->tmo) : 0;
    startCall(waitMs + kCommandMs);
    if (!ready()) return false;
    if (target != nullptr && linkFor(target->pad, target->sad, kProbeTimeoutMs) == nullptr)
        return false;
    // A device's requests come over the interrupt channel once it is asked
    // about the first time (the server then watches its line for it); one
    // that asked before is found by a poll.
    std::vector<Link> enabled;
    if (srqChannel_) {
        std::vector<int> keys;
        for (const auto& [key, link] : links_)
            if (!link.srqEnabled && (target == nullptr || key == keyOf(target->pad, target->sad)))
                keys.push_back(key);
        for (const int key : keys) {
            if (!core_ || !srqChannel_) break;
            Link& link = links_[key];
            if (enableSrq(link, key)) enabled.push_back(link);
        }
        if (!core_) return false;
    }
    const auto waitEnd = Clock::now() + std::chrono::milliseconds(waitMs);
    auto safetyPoll = Clock::now() + std::chrono::milliseconds(kSafetyPollMs);
    bool first = true;
    for (;;) {
        if (target != nullptr && polled(target->pad)) return true;
        if (target == nullptr && std::any_of(polled_.begin(), polled_.end(),
                                             [](const auto& s) { return s.has_value(); }))
            return true;
        // The devices to ask: those whose request came over the interrupt
        // channel, or, without it, each one linked.
        std::vector<Link> ask = std::exchange(enabled, {});
        if (srqChannel_) {
            const int look = first ? 0 : std::min(remainingMs(waitEnd), 50);
            for (const std::string& handle : srq_->take(look)) {
                int key = -1;
                if (handle.size() > kHandlePrefix.size() &&
                    handle.compare(0, kHandlePrefix.size(), kHandlePrefix) == 0)
                    std::from_chars(handle.data() + kHandlePrefix.size(),
                                    handle.data() + handle.size(), key);
                if (const auto it = links_.find(key); it != links_.end()) ask.push_back(it->second);
            }
            // Now and then a poll all the same: a request whose call was
            // lost (a channel held by someone else) is not waited out.
            if (Clock::now() >= safetyPoll) {
                safetyPoll = Clock::now() + std::chrono::milliseconds(kSafetyPollMs);
                for (const auto& [key, link] : links_)
                    if (target == nullptr || key == keyOf(target->pad, target->sad))
                        ask.push_back(link);
            }
        } else {
            for (const auto& [key, link] : links_)
                if (target == nullptr || key == keyOf(target->pad, target->sad))
                    ask.push_back(link);
        }
        for (const Link& link : ask) {
            std::uint8_t status = 0;
            const std::int32_t code = readStb(link, kCommandMs - kSilenceMarginMs, status);
            if (code < 0) return false;
            const auto at = std::find_if(links_.begin(), links_.end(),
                                         [&](const auto& l) { return l.second.id == link.id; });
            if (code == 0 && (status & 0x40) != 0 && at != links_.end())
                polled(gateway_ ? at->first >> 8 : 1) = status;
        }
        if (target != nullptr ? polled(target->pad).has_value()
                              : std::any_of(polled_.begin(), polled_.end(),
                                            [](const auto& s) { return s.has_value(); }))
            return true;
        if (!wait || Clock::now() >= waitEnd) return false;
        if (!srqChannel_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        first = false;
    }
}

} // namespace bus::vxi11
