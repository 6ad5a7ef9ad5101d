#include "Vxi11Server.h"

#include "bus/drivers/adapter/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace serve {

using namespace vxi11;
using bus::vxi11::AcceptStat;
using bus::vxi11::recordOf;
using bus::vxi11::RecordReader;
using bus::vxi11::rpcReply;
using bus::vxi11::XdrWriter;

namespace {

using Clock = std::chrono::steady_clock;

// Bytes asked of the bus at a time, so an abort is seen between them.
constexpr std::size_t kReadChunk = 64 * 1024;
// The largest answer one device_read returns, whatever its request size.
constexpr std::size_t kMaxReadReply = kMaxRecord - 4096;
// Portmapper and abort calls are small.
constexpr std::size_t kMaxSmallRecord = 64 * 1024;
// How often the SRQ line is looked at while a link wants to hear of it.
constexpr auto kSrqPoll = std::chrono::milliseconds(10);

// The driver's time-out code that waits at least `ms`.
std::int32_t timeoutCode(std::uint32_t ms) {
    static constexpr std::array<double, 17> kMs = {0.01, 0.03, 0.1, 0.3, 1,   3,   10,  30, 100,
                                                   300,  1e3,  3e3, 1e4, 3e4, 1e5, 3e5, 1e6};
    for (std::size_t i = 0; i < kMs.size(); ++i)
        if (kMs[i] >= ms) return static_cast<std::int32_t>(i + 1);
    return 17;
}

bool sendAll(int fd, std::string_view bytes, int flags = 0) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | flags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// A reply as one record: a long one with its mark sent ahead, so the
// message is not copied; a short one in one piece, in one system call.
bool sendRecord(int fd, const std::string& message) {
    if (message.size() < 64 * 1024) return sendAll(fd, recordOf(message));
    XdrWriter mark;
    mark.u32(0x80000000u | static_cast<std::uint32_t>(message.size()));
    return sendAll(fd, mark.bytes(), MSG_MORE) && sendAll(fd, message);
}

std::string dotted(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

} // namespace

struct Vxi11Server::Link {
    std::int32_t id = 0;
    Connection* owner = nullptr;
    int pad = 0, sad = 0;
    std::int32_t udEnd = -1, udMore = -1; // with and without END on the last byte
    bool srqEnabled = false;
    std::string handle;
    std::atomic<bool> abort{false};
    std::atomic<bool> busy{false}; // a call of this link is being served
    std::string pending;           // read past a termination character, for the next read
    bool pendingEnd = false;       // the pending bytes end the device's message
    int key() const { return pad * 32 + sad; }
};

struct Vxi11Server::Connection {
    int fd = -1;
    Channel channel = Channel::Core;
    std::string localHost;
    std::thread thread;
    std::atomic<bool> done{false};
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    std::atomic<bool> inHand{false}; // calls taken from the socket, not yet answered
    // The interrupt channel back to the client (create_intr_chan).
    int intrFd = -1;
    bool intrUdp = false;
    std::uint32_t intrProgram = 0, intrVersion = 0, intrXid = 1;
};

Vxi11Server::Vxi11Server(Vxi11Options options, std::unique_ptr<bus::Driver> bus)
    : options_(std::move(options)), bus_(std::move(bus)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    sockaddr_in probe{};
    if (::inet_pton(AF_INET, options_.listen.c_str(), &probe.sin_addr) != 1) {
        error_ = "cannot listen on \"" + options_.listen + "\": not an IPv4 address";
        return;
    }
    host_ = options_.listen == "0.0.0.0" ? "127.0.0.1" : options_.listen;
    coreFd_ = listenOn(SOCK_STREAM, options_.corePort, corePort_);
    if (coreFd_ < 0) return;
    abortFd_ = listenOn(SOCK_STREAM, options_.abortPort, abortPort_);
    if (abortFd_ < 0) return;

    // The portmapper: our own on its port, or else the system's rpcbind, or
    // else our own on a free port, which our own client can be told.
    mappings_ = {{kCoreProgram, kVxi11Version, bus::vxi11::kProtocolTcp,
                  static_cast<std::uint16_t>(corePort_)}};
    if (!openPortmapper(options_.portmapperPort)) {
        const std::string why = error_;
        error_.clear();
        std::string rpcbind;
        if (options_.portmapperPort == 111)
            registered_ = portmap::registerWithRpcbind(mappings_[0], rpcbind);
        if (!registered_) {
            if (!openPortmapper(0)) return;
            std::fprintf(stderr,
                         "vireon-serve: %s%s%s; the portmapper is on port %d instead, which "
                         "VISA clients cannot be told\n",
                         why.c_str(), rpcbind.empty() ? "" : "; ", rpcbind.c_str(),
                         portmapperPort_);
        }
    }

    // inst0 is the lowest-addressed listener the bus has now.
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    bus_->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    bus::Addr4882 probeList[31], found[31] = {};
    for (int a = 1; a <= 30; ++a)
        probeList[a - 1] = static_cast<bus::Addr4882>(a);
    probeList[30] = bus::NOADDR;
    bus_->FindLstn(0, probeList, found, 30);
    for (int i = 0; (sta & bus::ERR) == 0 && i < cntl && i < 30; ++i)
        listeners_.push_back(found[i] & 0xFF);
    std::sort(listeners_.begin(), listeners_.end());
    bus_->UnregisterGpibGlobalsForThread();

    acceptThread_ = std::thread([this] { acceptLoop(); });
    srqThread_ = std::thread([this] { srqLoop(); });
}

Vxi11Server::~Vxi11Server() {
    stopping_ = true;
    if (wake_[1] >= 0) {
        const char c = 'x';
        (void)::write(wake_[1], &c, 1);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(state_);
        srqWanted_.notify_all();
        lockFreed_.notify_all();
        // A thread blocked sending to a client that reads nothing wakes up.
        for (const auto& c : connections_)
            ::shutdown(c->fd, SHUT_RDWR);
    }
    if (srqThread_.joinable()) srqThread_.join();
    for (const auto& c : connections_)
        if (c->thread.joinable()) c->thread.join();
    if (registered_) portmap::unregisterWithRpcbind(mappings_[0]);
    for (const int fd : {coreFd_, abortFd_, pmapTcpFd_, pmapUdpFd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

bool Vxi11Server::openPortmapper(int port) {
    int udpPort = 0;
    pmapTcpFd_ = listenOn(SOCK_STREAM, port, portmapperPort_);
    if (pmapTcpFd_ >= 0) pmapUdpFd_ = listenOn(SOCK_DGRAM, portmapperPort_, udpPort);
    if (pmapUdpFd_ < 0) {
        if (pmapTcpFd_ >= 0) ::close(pmapTcpFd_);
        pmapTcpFd_ = -1;
        portmapperPort_ = 0;
        return false;
    }
    const int on = 1;
    ::setsockopt(pmapUdpFd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    // The portmapper lists itself, as rpcinfo expects.
    for (const std::uint32_t version : {2u, 3u, 4u})
        for (const std::uint32_t protocol : {bus::vxi11::kProtocolTcp, bus::vxi11::kProtocolUdp})
            mappings_.push_back({bus::vxi11::kPortmapperProgram, version, protocol,
                                 static_cast<std::uint16_t>(portmapperPort_)});
    return true;
}

int Vxi11Server::listenOn(int type, int port, int& bound) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, options_.listen.c_str(), &a.sin_addr);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 16) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        error_ = (type == SOCK_STREAM ? "TCP port " : "UDP port ") + std::to_string(port) + " on " +
                 options_.listen + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    bound = ntohs(a.sin_port);
    return fd;
}

std::vector<std::string> Vxi11Server::reachWith() const {
    const bool standard = registered_ || portmapperPort_ == 111;
    std::vector<std::string> lines = {
        "vxi11:" + host_ + (standard ? "" : ":" + std::to_string(portmapperPort_)) + "/gpib0"};
    // VISA resource strings know no portmapper port but 111.
    if (standard) {
        for (const int pad : listeners_)
            lines.push_back("TCPIP0::" + host_ + "::gpib0," + std::to_string(pad) + "::INSTR");
        if (!listeners_.empty()) lines.push_back("TCPIP0::" + host_ + "::inst0::INSTR");
    }
    return lines;
}

// One portmapper call over UDP. GETADDR names the address the call came to,
// which on a server listening on every interface is the one the client sees.
void Vxi11Server::answerDatagram() {
    char datagram[9000];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    sockaddr_in from{};
    iovec io{datagram, sizeof datagram};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(pmapUdpFd_, &message, MSG_DONTWAIT);
    if (n <= 0) return;
    std::string host = host_;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            sockaddr_in local{};
            local.sin_addr = info.ipi_addr;
            host = dotted(local);
        }
    }
    const std::string reply =
        portmap::answer(std::string_view(datagram, static_cast<std::size_t>(n)), mappings_, host);
    if (!reply.empty())
        ::sendto(pmapUdpFd_, reply.data(), reply.size(), MSG_DONTWAIT,
                 reinterpret_cast<sockaddr*>(&from), message.msg_namelen);
}

void Vxi11Server::acceptLoop() {
    while (!stopping_) {
        pollfd p[5] = {{wake_[0], POLLIN, 0},
                       {coreFd_, POLLIN, 0},
                       {abortFd_, POLLIN, 0},
                       {pmapTcpFd_, POLLIN, 0},
                       {pmapUdpFd_, POLLIN, 0}};
        if (::poll(p, 5, 500) < 0 && errno != EINTR) break;
        if (stopping_) break;
        if ((p[4].revents & POLLIN) != 0) answerDatagram();
        std::lock_guard<std::mutex> lock(state_);
        // Threads of closed connections are joined here, so they do not pile up.
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        for (int i = 1; i <= 3; ++i) {
            if ((p[i].revents & POLLIN) == 0) continue;
            sockaddr_in local{};
            socklen_t length = sizeof local;
            const int fd = ::accept4(p[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            c->channel = i == 1 ? Channel::Core : i == 2 ? Channel::Abort : Channel::Portmapper;
            c->localHost = ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0
                               ? dotted(local)
                               : host_;
            Connection* raw = c.get();
            connections_.push_back(std::move(c));
            raw->thread = std::thread([this, raw] { serve(raw); });
        }
    }
}

void Vxi11Server::serve(Connection* c) {
    if (c->channel == Channel::Core) {
        // Registration is a driver call too: it takes its turn.
        std::lock_guard<std::mutex> lock(busMutex_);
        bus_->RegisterGpibGlobalsForThread(&c->sta, &c->err, &c->cnt, &c->cntl);
    }
    RecordReader reader(c->channel == Channel::Core ? kMaxRecord : kMaxSmallRecord);
    std::vector<char> buffer(256 * 1024);
    bool close = false;
    while (!stopping_ && !close) {
        pollfd p[2] = {{c->fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        // A client asking call after call sends the next one at once.
        if (!bus::adapter::readySoon(p, 2) && ::poll(p, 2, 500) < 0 && errno != EINTR) break;
        if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        // Set before the bytes leave the socket, so an abort never finds a
        // call of this connection in neither place.
        c->inHand = true;
        const ssize_t n = ::recv(c->fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n <= 0) c->inHand = false;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        reader.feed(buffer.data(), static_cast<std::size_t>(n));
        std::string record, why;
        for (;;) {
            const RecordReader::Status status = reader.next(record, why);
            if (status == RecordReader::Status::NeedMore) break;
            // A record over the limit ends this connection only.
            if (status == RecordReader::Status::Failed) {
                std::fprintf(stderr, "vireon-serve: VXI-11 connection closed: %s\n", why.c_str());
                close = true;
                break;
            }
            const std::string reply = handle(*c, record, close);
            // Nothing more of this connection's on its way: an abort from
            // here on is for no call.
            if (reader.pending() == 0) c->inHand = false;
            if (!reply.empty() && !sendRecord(c->fd, reply)) close = true;
            if (close) break;
        }
        c->inHand = false;
    }
    if (c->channel == Channel::Core) {
        dropLinks(*c);
        std::lock_guard<std::mutex> lock(busMutex_);
        bus_->UnregisterGpibGlobalsForThread();
    }
    std::lock_guard<std::mutex> lock(state_);
    if (c->intrFd >= 0) ::close(c->intrFd);
    c->intrFd = -1;
    ::close(c->fd);
    c->fd = -1;
    c->done = true;
}

std::string Vxi11Server::handle(Connection& c, std::string_view record, bool& close) {
    if (c.channel == Channel::Portmapper) {
        std::string reply = portmap::answer(record, mappings_, c.localHost);
        close = reply.empty();
        return reply;
    }
    CoreCall call;
    switch (decodeCall(record, c.channel == Channel::Abort, call)) {
    case Decoded::Call:
        return this->call(c, call);
    case Decoded::NotACall:
        close = true; // not RPC at all: nothing sensible to answer
        return {};
    case Decoded::ProgramUnavailable:
        return rpcReply(call.rpc.xid, AcceptStat::ProgramUnavailable).take();
    case Decoded::ProgramMismatch:
        return rpcReply(call.rpc.xid, AcceptStat::ProgramMismatch)
            .u32(kVxi11Version)
            .u32(kVxi11Version)
            .take();
    case Decoded::ProcedureUnavailable:
        return rpcReply(call.rpc.xid, AcceptStat::ProcedureUnavailable).take();
    case Decoded::GarbageArguments:
        break;
    }
    return rpcReply(call.rpc.xid, AcceptStat::GarbageArguments).take();
}

std::int32_t Vxi11Server::ioError(std::int32_t sta, std::int32_t err) const {
    return (sta & bus::TIMO) != 0 || err == bus::EABO ? kIoTimeout : kIoError;
}

std::int32_t Vxi11Server::waitForLock(const Link& link, std::uint32_t flags,
                                      std::uint32_t lockTimeout, bool take) {
    std::unique_lock<std::mutex> lock(state_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(lockTimeout);
    for (;;) {
        const auto owner = lockOwner_.find(link.key());
        if (owner == lockOwner_.end() || owner->second == link.id) {
            if (take) lockOwner_[link.key()] = link.id;
            return kNoError;
        }
        if ((flags & kWaitLock) == 0 || stopping_ || Clock::now() >= deadline) return kLocked;
        lockFreed_.wait_until(lock, deadline);
    }
}

std::int32_t Vxi11Server::createLink(Connection& c, const CoreCall& call, std::int32_t& lid) {
    int pad = 0, sad = 0;
    if (!parseDeviceName(call.device, pad, sad)) return kInvalidAddress;
    if (pad < 0) {
        if (listeners_.empty()) return kNotAccessible;
        pad = listeners_.front();
    }
    if (pad == 0) return kInvalidAddress; // the controller itself
    auto link = std::make_shared<Link>();
    link->owner = &c;
    link->pad = pad;
    link->sad = sad;
    {
        std::lock_guard<std::mutex> lock(busMutex_);
        const std::int32_t sadCode = sad == 0 ? 0 : 0x60 + sad;
        const bus::Addr4882 probe[2] = {static_cast<bus::Addr4882>(pad | sadCode << 8),
                                        bus::NOADDR};
        bus::Addr4882 found[2] = {};
        bus_->FindLstn(0, probe, found, 1);
        if ((c.sta & bus::ERR) != 0 || c.cntl < 1) return kNotAccessible;
        link->udEnd = bus_->ibdev(0, pad, sadCode, bus::T10s, 1, 0);
        link->udMore = bus_->ibdev(0, pad, sadCode, bus::T10s, 0, 0);
        if (link->udEnd < 0 || link->udMore < 0) {
            for (const std::int32_t ud : {link->udEnd, link->udMore})
                if (ud >= 0) bus_->ibonl(ud, 0);
            return kOutOfResources;
        }
    }
    {
        std::lock_guard<std::mutex> lock(state_);
        link->id = nextLink_++;
        links_[link->id] = link;
    }
    lid = link->id;
    if (call.lockDevice && waitForLock(*link, kWaitLock, call.lockTimeout, true) != kNoError) {
        CoreCall destroy;
        destroy.lid = lid;
        destroy.rpc.procedure = kDestroyLink;
        this->call(c, destroy);
        lid = 0;
        return kLocked;
    }
    return kNoError;
}

std::string Vxi11Server::call(Connection& c, const CoreCall& call) {
    XdrWriter out = rpcReply(call.rpc.xid);
    const std::uint32_t procedure = call.rpc.procedure;
    if (procedure == kNull) return out.take();
    if (c.channel == Channel::Abort) {
        std::lock_guard<std::mutex> lock(state_);
        const auto found = links_.find(call.lid);
        if (found == links_.end()) return out.i32(kInvalidLink).take();
        // An abort may overtake the call it is meant for: it counts while a
        // call of the link runs or its connection has calls on their way.
        Link& link = *found->second;
        int waiting = 0;
        if (link.owner->fd >= 0) ::ioctl(link.owner->fd, FIONREAD, &waiting);
        if (link.busy || link.owner->inHand || waiting > 0) link.abort = true;
        return out.i32(kNoError).take();
    }
    if (procedure == kCreateLink) {
        std::int32_t lid = 0;
        const std::int32_t error = createLink(c, call, lid);
        return out.i32(error)
            .i32(lid)
            .u32(static_cast<std::uint32_t>(abortPort_))
            .u32(kMaxRecvSize)
            .take();
    }
    // Only this connection's thread opens and closes its interrupt channel;
    // the lock is for the SRQ thread, which uses it.
    if (procedure == kDestroyIntrChan) {
        std::lock_guard<std::mutex> lock(state_);
        if (c.intrFd < 0) return out.i32(kNoChannel).take();
        ::close(c.intrFd);
        c.intrFd = -1;
        return out.i32(kNoError).take();
    }
    if (procedure == kCreateIntrChan) {
        if (c.intrFd >= 0) return out.i32(kChannelEstablished).take();
        const bool udp = call.progFamily == 1;
        const int fd = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(call.hostAddr);
        to.sin_port = htons(static_cast<std::uint16_t>(call.hostPort));
        // The client listens already; a connect that takes longer fails. It
        // is made without the lock, so other connections go on meanwhile.
        const timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (fd < 0 || call.hostPort > 65535 || call.progFamily > 1 ||
            ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            if (fd >= 0) ::close(fd);
            return out.i32(kNoChannel).take();
        }
        std::lock_guard<std::mutex> lock(state_);
        c.intrFd = fd;
        c.intrUdp = udp;
        c.intrProgram = call.progNum;
        c.intrVersion = call.progVers;
        return out.i32(kNoError).take();
    }

    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(state_);
        const auto found = links_.find(call.lid);
        if (found != links_.end() && found->second->owner == &c) link = found->second;
    }
    if (!link) {
        if (procedure == kDeviceRead) return out.i32(kInvalidLink).i32(0).opaque({}).take();
        if (procedure == kDeviceWrite || procedure == kDeviceReadStb)
            return out.i32(kInvalidLink).u32(0).take();
        return out.i32(kInvalidLink).take();
    }

    // An abort ends with the call it came for.
    struct Serving {
        Link& link;
        explicit Serving(Link& l) : link(l) { link.busy = true; }
        ~Serving() {
            link.busy = false;
            link.abort = false;
        }
    } serving(*link);

    switch (procedure) {
    case kDestroyLink: {
        {
            std::lock_guard<std::mutex> lock(state_);
            const auto owner = lockOwner_.find(link->key());
            if (owner != lockOwner_.end() && owner->second == link->id) {
                lockOwner_.erase(owner);
                lockFreed_.notify_all();
            }
            links_.erase(link->id);
        }
        std::lock_guard<std::mutex> lock(busMutex_);
        bus_->ibonl(link->udEnd, 0);
        bus_->ibonl(link->udMore, 0);
        return out.i32(kNoError).take();
    }
    case kDeviceUnlock: {
        std::lock_guard<std::mutex> lock(state_);
        const auto owner = lockOwner_.find(link->key());
        if (owner == lockOwner_.end() || owner->second != link->id)
            return out.i32(kNoLockHeld).take();
        lockOwner_.erase(owner);
        lockFreed_.notify_all();
        return out.i32(kNoError).take();
    }
    case kDeviceLock:
        return out.i32(waitForLock(*link, call.flags, call.lockTimeout, true)).take();
    case kDeviceEnableSrq: {
        std::lock_guard<std::mutex> lock(state_);
        link->srqEnabled = call.enable;
        link->handle = call.handle;
        srqWanted_.notify_all();
        return out.i32(kNoError).take();
    }
    case kDeviceDocmd:
        return out.i32(kNotSupported).opaque({}).take();
    case kDeviceTrigger:
        // The driver interface has no group execute trigger to send.
        return out.i32(kNotSupported).take();
    default:
        break;
    }

    // The calls that use the device wait for another link's lock first.
    const std::int32_t locked = waitForLock(*link, call.flags, call.lockTimeout, false);
    if (locked != kNoError) {
        if (procedure == kDeviceRead) return out.i32(locked).i32(0).opaque({}).take();
        if (procedure == kDeviceWrite || procedure == kDeviceReadStb)
            return out.i32(locked).u32(0).take();
        return out.i32(locked).take();
    }
    if (procedure == kDeviceRemote || procedure == kDeviceLocal) return out.i32(kNoError).take();

    std::lock_guard<std::mutex> lock(busMutex_);
    const std::int32_t tmo = timeoutCode(call.ioTimeout);
    switch (procedure) {
    case kDeviceWrite: {
        if (link->abort) return out.i32(kAborted).u32(0).take();
        const std::int32_t ud = (call.flags & kEnd) != 0 ? link->udEnd : link->udMore;
        bus_->ibtmo(ud, tmo);
        const std::int32_t sta =
            bus_->ibwrt(ud, call.data.data(), static_cast<std::int32_t>(call.data.size()));
        const std::int32_t error = (sta & bus::ERR) != 0 ? ioError(sta, c.err) : kNoError;
        return out.i32(error).u32(static_cast<std::uint32_t>(c.cntl)).take();
    }
    case kDeviceRead: {
        const std::size_t wanted = std::min<std::size_t>(call.requestSize, kMaxReadReply);
        const bool termSet = (call.flags & kTermCharSet) != 0;
        // Bytes read past a termination character come first.
        std::string data = std::move(link->pending);
        bool end = link->pendingEnd;
        link->pending.clear();
        link->pendingEnd = false;
        const auto holdBack = [&](std::size_t from) {
            link->pending = data.substr(from);
            link->pendingEnd = end;
            data.resize(from);
        };
        std::int32_t error = kNoError, reason = 0;
        std::size_t scanned = 0;
        bus_->ibtmo(link->udEnd, tmo);
        std::vector<char> chunk(std::min(kReadChunk, std::max<std::size_t>(wanted, 1)));
        for (;;) {
            const std::size_t term =
                termSet ? data.find(call.termChar, scanned) : std::string::npos;
            if (term != std::string::npos && term < wanted) {
                if (term + 1 < data.size()) {
                    holdBack(term + 1);
                    reason = kReasonChr;
                } else {
                    reason = kReasonChr | (end ? kReasonEnd : 0);
                }
                break;
            }
            scanned = data.size();
            if (data.size() > wanted) {
                holdBack(wanted);
                reason = kReasonReqCnt;
                break;
            }
            if (end || data.size() == wanted) {
                reason = (end ? kReasonEnd : 0) | (data.size() == wanted ? kReasonReqCnt : 0);
                break;
            }
            if (link->abort || stopping_) { // a server going down ends long reads too
                error = kAborted;
                break;
            }
            const std::size_t n = std::min(chunk.size(), wanted - data.size());
            const std::int32_t sta =
                bus_->ibrd(link->udEnd, chunk.data(), static_cast<std::int32_t>(n));
            data.append(chunk.data(), c.cntl < 0 ? 0 : std::min<std::size_t>(c.cntl, n));
            if ((sta & bus::ERR) != 0) {
                error = ioError(sta, c.err);
                break;
            }
            end = (sta & bus::END) != 0;
        }
        return out.i32(error).i32(error == kNoError ? reason : 0).opaque(data).take();
    }
    case kDeviceReadStb: {
        bus_->ibtmo(link->udEnd, tmo);
        char status = 0;
        const std::int32_t sta = bus_->ibrsp(link->udEnd, &status);
        const std::int32_t error = (sta & bus::ERR) != 0 ? ioError(sta, c.err) : kNoError;
        return out.i32(error).u32(static_cast<unsigned char>(status)).take();
    }
    case kDeviceClear: {
        link->pending.clear();
        link->pendingEnd = false;
        bus_->ibtmo(link->udEnd, tmo);
        const std::int32_t sta = bus_->ibclr(link->udEnd);
        return out.i32((sta & bus::ERR) != 0 ? ioError(sta, c.err) : kNoError).take();
    }
    default:
        return rpcReply(call.rpc.xid, AcceptStat::ProcedureUnavailable).take();
    }
}

void Vxi11Server::dropLinks(Connection& c) {
    std::vector<std::int32_t> mine;
    {
        std::lock_guard<std::mutex> lock(state_);
        for (const auto& [id, link] : links_)
            if (link->owner == &c) mine.push_back(id);
    }
    for (const std::int32_t id : mine) {
        CoreCall destroy;
        destroy.lid = id;
        destroy.rpc.procedure = kDestroyLink;
        call(c, destroy);
    }
}

// Looks at the bus's SRQ line while any link asked to hear of it, and calls
// device_intr_srq on each such link's interrupt channel when the line rises.
void Vxi11Server::srqLoop() {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    {
        std::lock_guard<std::mutex> lock(busMutex_);
        bus_->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    }
    bool was = false;
    while (!stopping_) {
        {
            std::unique_lock<std::mutex> lock(state_);
            const auto wanted = [this] {
                if (stopping_) return true;
                for (const auto& [id, link] : links_)
                    if (link->srqEnabled) return true;
                return false;
            };
            if (!wanted()) {
                was = false;
                srqWanted_.wait(lock, wanted);
                if (stopping_) break;
            }
        }
        std::int32_t status = 0;
        {
            std::lock_guard<std::mutex> lock(busMutex_);
            status = bus_->ibwait(0, bus::SRQI | bus::CMPL);
        }
        const bool srq = (status & bus::SRQI) != 0;
        std::unique_lock<std::mutex> lock(state_);
        if (srq && !was) {
            for (const auto& [id, link] : links_) {
                Connection* owner = link->owner;
                if (!link->srqEnabled || owner->intrFd < 0) continue;
                XdrWriter message = bus::vxi11::rpcCall(owner->intrXid++, owner->intrProgram,
                                                        owner->intrVersion, kDeviceIntrSrq);
                message.opaque(link->handle);
                const std::string bytes =
                    owner->intrUdp ? message.take() : recordOf(message.take());
                ::send(owner->intrFd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            }
        }
        was = srq;
        // The clients' replies to device_intr_srq are not needed.
        for (const auto& connection : connections_) {
            char drain[512];
            if (connection->intrFd >= 0)
                while (::recv(connection->intrFd, drain, sizeof drain, MSG_DONTWAIT) > 0) {
                }
        }
        srqWanted_.wait_for(lock, kSrqPoll, [this] { return stopping_.load(); });
    }
    std::lock_guard<std::mutex> lock(busMutex_);
    bus_->UnregisterGpibGlobalsForThread();
}

} // namespace serve
