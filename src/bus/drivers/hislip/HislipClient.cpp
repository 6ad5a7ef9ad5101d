#include "bus/drivers/hislip/HislipClient.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace bus::hislip {

namespace {

constexpr std::uint16_t kVendorId = ('V' << 8) | 'R';
constexpr std::size_t kReceiveChunk = 256 * 1024;
// How often a read that may be stopped looks whether it is to stop.
constexpr int kStopLookMs = 100;
constexpr std::uint32_t kLockWaitMs = 0; // a locked device is reported at once
// How long a wait for a reply on the asynchronous channel goes between looks
// at the synchronous one, when that one is to be emptied.
constexpr int kDropSliceMs = 10;

bool gatewayName(const std::string& sub) {
    if (sub.size() < 5 || sub.compare(0, 4, "gpib") != 0) return false;
    return std::all_of(sub.begin() + 4, sub.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

struct HislipClient::Link {
    std::string name; // the sub-address
    std::unique_ptr<adapter::Transport> sync, async;
    MessageReader syncReader{HislipClient::kMaxMessage}, asyncReader{HislipClient::kMaxMessage};
    std::uint64_t serverMax = HislipClient::kMaxMessage;
    std::uint32_t nextId = kFirstMessageId;
    std::uint32_t awaitedId = 0; // the DataEnd the answer in progress answers
    bool rmtDelivered = false;   // a whole answer was read since the last message
    bool serviceRequested = false;
    std::optional<std::uint8_t> polled; // a status byte a check took, for the next poll
    // What arrived of the answer and was not handed out yet.
    std::string pending;
    std::size_t pendingStart = 0;
    bool pendingEnd = false; // pending holds the answer's last byte

    bool open() const { return sync && async; }
};

HislipClient::HislipClient(std::string host, std::string subAddress, Connector connector)
    : host_(std::move(host)), subAddress_(std::move(subAddress)),
      gateway_(gatewayName(subAddress_)), connector_(std::move(connector)) {}

HislipClient::~HislipClient() = default;

std::unique_ptr<HislipClient> HislipClient::open(const std::string& args, std::string& error) {
    const std::size_t slash = args.find('/');
    const std::string where = args.substr(0, slash);
    adapter::AdapterAddress address = adapter::parseAdapterAddress(where, kDefaultPort, error);
    if (!error.empty()) return nullptr;
    if (address.serial || address.host.empty()) {
        error = "hislip:" + args + ": HOST[:PORT][/SUBADDRESS] names no host";
        return nullptr;
    }
    return openWith(
        args, [address](std::string& why) { return adapter::openTransport(address, why); }, error);
}

std::unique_ptr<HislipClient> HislipClient::openWith(const std::string& args, Connector connector,
                                                     std::string& error) {
    const std::size_t slash = args.find('/');
    std::string sub = slash == std::string::npos ? "hislip0" : args.substr(slash + 1);
    if (sub.empty()) sub = "hislip0";
    if (sub.size() > 256 || sub.find_first_of(" \t\r\n") != std::string::npos) {
        error = "hislip:" + args + ": \"" + shownBytes(sub) + "\" is no sub-address";
        return nullptr;
    }
    std::unique_ptr<HislipClient> client(
        new HislipClient(args.substr(0, slash), std::move(sub), std::move(connector)));
    client->startCall(kCommandMs);
    if (client->gateway()) {
        // A gateway's sessions are per address: here the server need only be
        // there.
        std::string why;
        if (!client->connector_(why)) {
            error = client->description() + ": " + why;
            return nullptr;
        }
        return client;
    }
    bool refused = false;
    if (client->linkFor(1, 0, refused) == nullptr) {
        error = client->problem_;
        return nullptr;
    }
    return client;
}

std::string HislipClient::description() const {
    return "HiSLIP " + subAddress_ + " on " + host_;
}

void HislipClient::setLocking(bool lock) {
    locking_ = lock;
    for (auto& [key, link] : links_)
        drop(*link);
}

std::string HislipClient::startupAdvice(std::int32_t iberr, std::int32_t) {
    return iberr == ENEB || iberr == EBUS ? problem_ : std::string();
}

int HislipClient::leftMs() const {
    return remainingMs(deadline_);
}

void HislipClient::say(const std::string& step, const std::string& what) {
    problem_ = description() + ": " + step + ": " + what;
}

std::string HislipClient::sessionName(std::int32_t pad, std::int32_t sad) const {
    if (!gateway_) return subAddress_;
    return subAddress_ + "," + std::to_string(pad) +
           (sad != 0 ? "," + std::to_string(sad - 0x60) : "");
}

HislipClient::Link* HislipClient::linkFor(std::int32_t pad, std::int32_t sad, bool& refused) {
    refused = false;
    if (!gateway_ && (pad != 1 || sad != 0)) {
        refused = true;
        return nullptr;
    }
    auto& slot = links_[pad | sad << 8];
    if (!slot) {
        slot = std::make_unique<Link>();
        slot->name = sessionName(pad, sad);
    }
    if (slot->open()) return slot.get();
    switch (openLink(*slot)) {
    case Opened::Yes:
        return slot.get();
    case Opened::Refused:
        refused = true;
        return nullptr;
    case Opened::Lost:
        return nullptr;
    }
    return nullptr;
}

HislipClient::Opened HislipClient::openLink(Link& link) {
    drop(link);
    const std::string step = "opening session " + link.name;
    std::string why;
    link.sync = connector_(why);
    if (!link.sync) {
        serverLost_ = true;
        problem_ = description() + ": " + why;
        return Opened::Lost;
    }
    serverLost_ = false;
    Message m;
    if (!send(link, false, Type::Initialize, 0,
              static_cast<std::uint32_t>(kProtocolVersion) << 16 | kVendorId, link.name))
        return Opened::Lost;
    switch (receive(link, false, m, deadline_)) {
    case Got::Message:
        break;
    case Got::Bad:
        drop(link);
        return Opened::Lost;
    default:
        drop(link);
        say(step, "no answer to Initialize");
        serverLost_ = true;
        return Opened::Lost;
    }
    if (m.type() == Type::FatalError) {
        drop(link);
        say(step, "the server refused it: " + fatalErrorText(m.header.control) +
                      (m.payload.empty() ? "" : " (\"" + shownBytes(m.payload) + "\")"));
        // A server with no room for another client has the device all the
        // same; any other refusal means nothing is there.
        return m.header.control == kFatalTooManyClients ? Opened::Lost : Opened::Refused;
    }
    if (m.type() != Type::InitializeResponse) {
        drop(link);
        say(step, typeName(m.header.type) + " came back to Initialize");
        return Opened::Lost;
    }
    if ((m.header.control & 1) != 0) {
        drop(link);
        say(step, "the server works in overlapped mode only");
        return Opened::Lost;
    }
    const std::uint32_t session = m.header.parameter & 0xFFFF;
    link.async = connector_(why);
    if (!link.async) {
        drop(link);
        problem_ = description() + ": " + why;
        return Opened::Lost;
    }
    if (!send(link, true, Type::AsyncInitialize, 0, session)) return Opened::Lost;
    if (!asyncReply(link, Type::AsyncInitializeResponse, "opening the asynchronous channel"))
        return Opened::Lost;
    if (!send(link, true, Type::AsyncMaximumMessageSize, 0, 0, encodeSize(kMaxMessage)))
        return Opened::Lost;
    const auto size =
        asyncReply(link, Type::AsyncMaximumMessageSizeResponse, "agreeing the message size");
    if (!size) return Opened::Lost;
    std::uint64_t serverMax = 0;
    if (!decodeSize(size->payload, serverMax) || serverMax <= kHeaderSize) {
        drop(link);
        say("agreeing the message size", "\"" + shownBytes(size->payload) + "\" came back");
        return Opened::Lost;
    }
    link.serverMax = serverMax;
    if (locking_) {
        if (!send(link, true, Type::AsyncLock, 1, kLockWaitMs)) return Opened::Lost;
        const auto lock = asyncReply(link, Type::AsyncLockResponse, "locking the device");
        if (!lock) return Opened::Lost;
        if (lock->header.control != 1) {
            drop(link);
            say("locking the device", "another client holds the lock");
            return Opened::Lost;
        }
    }
    return Opened::Yes;
}

void HislipClient::drop(Link& link) {
    link.sync.reset();
    link.async.reset();
    link.syncReader.reset();
    link.asyncReader.reset();
    link.nextId = kFirstMessageId;
    link.awaitedId = 0;
    link.rmtDelivered = false;
    link.serviceRequested = false;
    link.polled.reset();
    link.pending.clear();
    link.pendingStart = 0;
    link.pendingEnd = false;
}

AdapterDriver::Result HislipClient::lost(Link& link, const std::string& why) {
    if (!why.empty()) problem_ = description() + ": " + why;
    drop(link);
    return Result::failed(ENEB);
}

bool HislipClient::send(Link& link, bool async, Type type, std::uint8_t control,
                        std::uint32_t parameter, std::string_view payload) {
    adapter::Transport* t = async ? link.async.get() : link.sync.get();
    if (t == nullptr) return false;
    std::string bytes;
    appendHeader(bytes, type, control, parameter, payload.size());
    bool sent;
    if (payload.size() <= 64 * 1024) {
        bytes += payload;
        sent = t->send(bytes.data(), bytes.size(), std::max(leftMs(), 1));
    } else {
        sent = t->send(bytes.data(), bytes.size(), std::max(leftMs(), 1)) &&
               t->send(payload.data(), payload.size(), std::max(leftMs(), 1));
    }
    if (sent) return true;
    say("sending " + typeName(static_cast<std::uint8_t>(type)),
        "the connection dropped or took nothing in time");
    drop(link);
    return false;
}

HislipClient::Got HislipClient::receive(Link& link, bool async, Message& m, Clock::time_point until,
                                        bool stoppable) {
    adapter::Transport* t = async ? link.async.get() : link.sync.get();
    MessageReader& reader = async ? link.asyncReader : link.syncReader;
    if (t == nullptr) return Got::Lost;
    for (;;) {
        switch (reader.next(m)) {
        case MessageReader::Status::Message:
            return Got::Message;
        case MessageReader::Status::Bad:
            say(async ? "reading the asynchronous channel" : "reading the synchronous channel",
                reader.error());
            drop(link);
            return Got::Bad;
        case MessageReader::Status::NeedMore:
            break;
        }
        int wait = remainingMs(until);
        if (stoppable) {
            if (stopRequested()) return Got::Stopped;
            wait = std::min(wait, kStopLookMs);
        }
        const long n = wait > 0 || !stoppable
                           ? t->receive(reader.space(kReceiveChunk), kReceiveChunk, wait)
                           : 0;
        if (n < 0) return Got::Lost;
        reader.commit(static_cast<std::size_t>(n));
        // A receive that came back empty waited its time out.
        if (n == 0 && (!stoppable || Clock::now() >= until)) return Got::Silence;
    }
}

void HislipClient::noteAsync(Link& link, const Message& m) {
    if (m.type() == Type::AsyncServiceRequest) link.serviceRequested = true;
}

bool HislipClient::dropSyncInput(Link& link, bool& arrived) {
    Message dropped;
    for (;;) {
        if (Clock::now() >= deadline_) return true;
        switch (receive(link, false, dropped, Clock::now())) {
        case Got::Message:
            arrived = true;
            continue;
        case Got::Lost:
            lost(link, "device clear: the server closed the connection");
            return false;
        case Got::Bad:
            return false;
        default:
            return true;
        }
    }
}

std::optional<Message> HislipClient::asyncReply(Link& link, Type type, const char* step,
                                                bool dropSync) {
    Message m;
    // Slices in which neither channel brought anything: as many as fit in
    // the call, counted rather than timed, so a pipe that answers at once
    // with nothing ends the wait too.
    int quietSlices = leftMs() / kDropSliceMs + 1;
    for (;;) {
        const auto until =
            dropSync ? std::min(deadline_, Clock::now() + std::chrono::milliseconds(kDropSliceMs))
                     : deadline_;
        const Got got = receive(link, true, m, until);
        if (got == Got::Silence && dropSync && Clock::now() < deadline_) {
            bool arrived = false;
            if (!dropSyncInput(link, arrived)) return std::nullopt;
            if (arrived || --quietSlices > 0) continue;
        }
        switch (got) {
        case Got::Message:
            break;
        case Got::Bad:
            return std::nullopt;
        case Got::Lost:
            lost(link, std::string(step) + ": the server closed the connection");
            return std::nullopt;
        default:
            lost(link, std::string(step) + ": no " + typeName(static_cast<std::uint8_t>(type)) +
                           " came back in time");
            return std::nullopt;
        }
        if (m.type() == type) return m;
        if (m.type() == Type::AsyncServiceRequest || m.type() == Type::AsyncInterrupted ||
            m.header.type >= static_cast<std::uint8_t>(Type::FirstVendor)) {
            noteAsync(link, m);
            continue;
        }
        if (m.type() == Type::FatalError) {
            lost(link, std::string(step) +
                           ": the server ended the session: " + fatalErrorText(m.header.control) +
                           " (\"" + shownBytes(m.payload) + "\")");
        } else if (m.type() == Type::Error) {
            lost(link, std::string(step) + ": the server answered with an error: " +
                           errorText(m.header.control) + " (\"" + shownBytes(m.payload) + "\")");
        } else {
            lost(link, std::string(step) + ": " + typeName(m.header.type) +
                           " came back instead of " + typeName(static_cast<std::uint8_t>(type)));
        }
        return std::nullopt;
    }
}

bool HislipClient::otherSyncMessage(Link& link, const Message& m, const char* step,
                                    Result& result) {
    switch (m.type()) {
    case Type::Interrupted:
    case Type::DeviceClearAcknowledge:
        return true;
    case Type::FatalError:
        result = lost(link, std::string(step) + ": the server ended the session: " +
                                fatalErrorText(m.header.control) + " (\"" + shownBytes(m.payload) +
                                "\")");
        return false;
    case Type::Error:
        // The session goes on; this call fails with what the server said.
        say(step, "the server answered with an error: " + errorText(m.header.control) + " (\"" +
                      shownBytes(m.payload) + "\")");
        result = Result::failed(EBUS);
        return false;
    default:
        if (m.header.type >= static_cast<std::uint8_t>(Type::FirstVendor)) return true;
        result = lost(link, std::string(step) + ": " + typeName(m.header.type) +
                                " came on the synchronous channel");
        return false;
    }
}

std::optional<std::uint8_t> HislipClient::statusQuery(Link& link, const char* step) {
    if (!send(link, true, Type::AsyncStatusQuery, link.rmtDelivered ? kRmtDelivered : 0,
              link.nextId - 2))
        return std::nullopt;
    const auto reply = asyncReply(link, Type::AsyncStatusResponse, step);
    if (!reply) return std::nullopt;
    return reply->header.control;
}

AdapterDriver::Result HislipClient::interfaceClear() {
    // HiSLIP has no interface clear; a device clear is a call of its own.
    return Result::ok();
}

AdapterDriver::Result HislipClient::remoteEnable(bool on) {
    startCall(kCommandMs);
    bool refused = false;
    Link* link = nullptr;
    if (!gateway_) {
        link = linkFor(1, 0, refused);
        if (link == nullptr) return Result::failed(ENEB);
    } else {
        for (auto& [key, l] : links_)
            if (l->open()) link = l.get();
        // No session yet: remote enable comes with the first one.
        if (link == nullptr) return Result::ok();
    }
    if (!send(*link, true, Type::AsyncRemoteLocalControl, on ? 1 : 0, link->nextId - 2) ||
        !asyncReply(*link, Type::AsyncRemoteLocalResponse, "remote enable"))
        return Result::failed(ENEB);
    return Result::ok();
}

bool HislipClient::listening(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    bool refused = false;
    return linkFor(pad, sad, refused) != nullptr;
}

AdapterDriver::Result HislipClient::write(const Target& target, const char* data, std::size_t size,
                                          bool end) {
    startCall(timeoutMs(target.tmo) + kMarginMs);
    bool refused = false;
    Link* link = linkFor(target.pad, target.sad, refused);
    if (link == nullptr) return Result::failed(refused ? ENOL : ENEB);
    // No bytes, no message: on the bus nothing would reach the device either,
    // and an answer on its way stays the one to read.
    if (size == 0) return Result::ok();
    // A new message ends what is left of the last answer.
    link->pending.clear();
    link->pendingStart = 0;
    link->pendingEnd = false;
    link->polled.reset();
    const std::size_t most = static_cast<std::size_t>(
        std::min<std::uint64_t>(link->serverMax - kHeaderSize, kMaxPayload));
    std::size_t at = 0;
    while (at < size) {
        const std::size_t n = std::min(most, size - at);
        const bool last = at + n == size;
        const Type type = last && end ? Type::DataEnd : Type::Data;
        const std::uint32_t id = link->nextId;
        if (!send(*link, false, type, link->rmtDelivered ? kRmtDelivered : 0, id,
                  std::string_view(data + at, n)))
            return Result::failed(ENEB, at);
        link->rmtDelivered = false;
        link->nextId += 2;
        if (type == Type::DataEnd) link->awaitedId = id;
        at += n;
    }
    return Result::ok(size);
}

AdapterDriver::Result HislipClient::read(const Target& target, char* buffer, std::size_t size) {
    const int consoleMs = timeoutMs(target.tmo);
    startCall(consoleMs + kMarginMs);
    const auto consoleEnd = Clock::now() + std::chrono::milliseconds(consoleMs);
    bool refused = false;
    Link* link = linkFor(target.pad, target.sad, refused);
    if (link == nullptr) return Result::failed(refused ? ENOL : ENEB);
    const bool stoppable = stopWatched();
    std::size_t count = 0;
    Message m;
    for (;;) {
        const std::size_t n = std::min(size - count, link->pending.size() - link->pendingStart);
        if (n > 0) std::memcpy(buffer + count, link->pending.data() + link->pendingStart, n);
        link->pendingStart += n;
        count += n;
        if (link->pendingStart == link->pending.size()) {
            link->pending.clear();
            link->pendingStart = 0;
            if (link->pendingEnd) {
                link->pendingEnd = false;
                link->rmtDelivered = true;
                return Result::ok(count, true);
            }
        }
        if (count == size) return Result::ok(count);
        switch (receive(*link, false, m, consoleEnd, stoppable)) {
        case Got::Message:
            break;
        case Got::Stopped:
            return Result::failed(EABO, count);
        case Got::Bad:
            return Result::failed(ENEB, count);
        case Got::Lost:
            lost(*link, "reading the answer: the server closed the connection");
            return Result::failed(ENEB, count);
        case Got::Silence: {
            // A slow device, or a server gone? The asynchronous channel says.
            const auto status = statusQuery(*link, "reading the answer");
            if (!status) return Result::failed(ENEB, count);
            if ((*status & 0x40) != 0) link->polled = status;
            return Result::timeout(count);
        }
        }
        if (m.type() == Type::Data || m.type() == Type::DataEnd) {
            // Left over from an answer that a newer message ended.
            if (m.header.parameter != link->awaitedId) continue;
            link->pending = std::move(m.payload);
            link->pendingStart = 0;
            link->pendingEnd = m.type() == Type::DataEnd;
            continue;
        }
        Result result;
        if (!otherSyncMessage(*link, m, "reading the answer", result)) {
            result.count = count;
            return result;
        }
    }
}

AdapterDriver::Result HislipClient::serialPoll(const Target& target, std::uint8_t& statusByte) {
    startCall(timeoutMs(target.tmo) + kMarginMs);
    bool refused = false;
    Link* link = linkFor(target.pad, target.sad, refused);
    if (link == nullptr) return Result::failed(refused ? ENOL : ENEB);
    link->serviceRequested = false;
    if (link->polled) {
        statusByte = *link->polled;
        link->polled.reset();
        return Result::ok(1);
    }
    const auto status = statusQuery(*link, "serial poll");
    if (!status) return Result::failed(ENEB);
    statusByte = *status;
    return Result::ok(1);
}

HislipClient::Cleared HislipClient::clearSequence(Link& link, Clock::time_point until) {
    link.pending.clear();
    link.pendingStart = 0;
    link.pendingEnd = false;
    // A server busy sending an answer takes the clear once the answer is
    // out: it is read and dropped meanwhile.
    if (!send(link, true, Type::AsyncDeviceClear, 0, 0) ||
        !asyncReply(link, Type::AsyncDeviceClearAcknowledge, "device clear", true))
        return Cleared::Failed;
    // Synchronized mode asked for (control code 0); everything before the
    // acknowledgement belongs to what was cleared.
    if (!send(link, false, Type::DeviceClearComplete, 0, 0)) return Cleared::Failed;
    Message m;
    for (;;) {
        switch (receive(link, false, m, until)) {
        case Got::Message:
            break;
        case Got::Lost:
            lost(link, "device clear: the server closed the connection");
            return Cleared::Failed;
        case Got::Bad:
            return Cleared::Failed;
        default:
            return Cleared::Silent;
        }
        if (m.type() == Type::DeviceClearAcknowledge) break;
        if (m.type() == Type::FatalError) {
            lost(link,
                 "device clear: the server ended the session: " + fatalErrorText(m.header.control));
            return Cleared::Failed;
        }
    }
    if ((m.header.control & 1) != 0) {
        lost(link, "device clear: the server went over to overlapped mode");
        return Cleared::Failed;
    }
    link.nextId = kFirstMessageId;
    link.awaitedId = 0;
    link.rmtDelivered = false;
    link.polled.reset();
    return Cleared::Yes;
}

bool HislipClient::clearLink(Link& link) {
    switch (clearSequence(link, deadline_ - std::chrono::milliseconds(kCommandMs / 2))) {
    case Cleared::Yes:
        return true;
    case Cleared::Failed:
        return false;
    case Cleared::Silent:
        break;
    }
    // No acknowledgement: the synchronous channel is out of step (part of a
    // message that never came whole). A new session starts in step, and is
    // cleared like the old one.
    if (openLink(link) != Opened::Yes) return false;
    const Cleared again = clearSequence(link, deadline_);
    if (again == Cleared::Silent)
        lost(link, "device clear: no DeviceClearAcknowledge came back in time");
    return again == Cleared::Yes;
}

AdapterDriver::Result HislipClient::clear(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    if (pad == NOADDR) {
        for (auto& [key, l] : links_)
            if (l->open() && !clearLink(*l)) return Result::failed(ENEB);
        return Result::ok();
    }
    bool refused = false;
    Link* link = linkFor(pad, sad, refused);
    if (link == nullptr) return Result::failed(refused ? ENOL : ENEB);
    return clearLink(*link) ? Result::ok() : Result::failed(ENEB);
}

bool HislipClient::serviceRequest(const Target* target, bool wait) {
    const int waitMs = wait && target ? timeoutMs(target->tmo) : 0;
    startCall(waitMs + kCommandMs);
    const auto waitEnd = Clock::now() + std::chrono::milliseconds(waitMs);
    std::vector<Link*> watched;
    if (target != nullptr) {
        const auto found = links_.find(target->pad | target->sad << 8);
        if (found != links_.end() && found->second->open()) watched.push_back(found->second.get());
    } else {
        for (auto& [key, l] : links_)
            if (l->open()) watched.push_back(l.get());
    }
    for (;;) {
        for (Link* link : watched) {
            if (!link->open()) continue;
            // What has arrived, without waiting.
            Message m;
            while (link->open() && receive(*link, true, m, Clock::now(), false) == Got::Message) {
                if (m.type() == Type::FatalError) lost(*link, "the server ended the session");
                noteAsync(*link, m);
            }
            if (link->serviceRequested) return true;
        }
        if (!wait || Clock::now() >= waitEnd || watched.empty()) return false;
        if (watched.size() == 1 && watched[0]->open()) {
            Message m;
            const Got got = receive(*watched[0], true, m, waitEnd, stopWatched());
            if (got == Got::Message) {
                noteAsync(*watched[0], m);
                if (m.type() == Type::FatalError) lost(*watched[0], "the server ended the session");
            } else if (got != Got::Silence) {
                return false;
            }
        } else {
            return false;
        }
    }
}

} // namespace bus::hislip
