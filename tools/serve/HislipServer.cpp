#include "HislipServer.h"

#include "bus/drivers/adapter/Sockets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serve {

namespace hs = bus::hislip;

namespace {

constexpr std::uint64_t kServerMaxMessage = 1u << 20;
constexpr std::size_t kReceiveChunk = 256 * 1024;
// An answer is read from the bus in pieces this long, each sent at once; a
// device clear or a closed session between two pieces stops the read there.
constexpr std::size_t kReadPiece = 64 * 1024;
constexpr std::uint16_t kVendorId = ('V' << 8) | 'R';
constexpr std::uint8_t kMav = 0x10, kRqs = 0x40;
// A client that takes nothing for this long is gone.
constexpr int kSendMs = 5000;
constexpr int kTickMs = 20;
// Two per session: a gateway client probing every address takes sixty.
constexpr std::size_t kMaxConnections = 512;

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::uint8_t typeOf(hs::Type type) {
    return static_cast<std::uint8_t>(type);
}

} // namespace

struct HislipServer::Connection {
    int fd = -1;
    hs::MessageReader reader{kServerMaxMessage};
    std::uint16_t session = 0; // 0 until initialized
    bool async = false;
};

struct HislipServer::Session {
    std::uint16_t id = 0;
    int pad = 0, sad = 0;
    std::int32_t udEnd = -1, udMore = -1; // END with the last byte written, or not
    int syncFd = -1, asyncFd = -1;
    std::uint64_t clientMax = kServerMaxMessage;
    std::uint32_t lastEndId = hs::kFirstMessageId;
    bool answerOut = false;                // an answer sent that the client has not said it read
    bool query = false;                    // the message so far holds a '?'
    bool clearedWhileReading = false;      // an AsyncDeviceClear came during a read
    std::optional<std::uint8_t> requested; // the status byte of a service request
};

HislipServer::HislipServer(HislipOptions options, std::unique_ptr<bus::Driver> bus)
    : options_(std::move(options)), bus_(std::move(bus)), chunk_(kReadPiece) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    if (::inet_pton(AF_INET, options_.listen.c_str(), &a.sin_addr) != 1) {
        error_ = "HiSLIP: cannot listen on \"" + options_.listen + "\": not an IPv4 address";
        return;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof a;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        error_ = "HiSLIP: TCP port " + std::to_string(options_.port) + " on " + options_.listen +
                 ": " + std::strerror(errno);
        return;
    }
    setNonBlocking(listenFd_);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

HislipServer::~HislipServer() {
    stopping_ = true;
    if (wake_[1] >= 0) {
        const char c = 'x';
        (void)::write(wake_[1], &c, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (const auto& [fd, c] : connections_)
        ::close(fd);
    for (const int fd : {listenFd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

std::vector<std::string> HislipServer::reachWith() const {
    std::string host = options_.listen;
    if (host == "0.0.0.0") {
        char name[256] = {};
        host = ::gethostname(name, sizeof name - 1) == 0 ? name : "localhost";
    }
    const std::string port = std::to_string(port_);
    return {"hislip:" + host + ":" + port, "TCPIP0::" + host + "::hislip0," + port + "::INSTR"};
}

void HislipServer::replaceNextAnswer(std::string bytes) {
    const std::lock_guard<std::mutex> lock(injectMutex_);
    inject_ = std::move(bytes);
}

void HislipServer::run() {
    bus_->RegisterGpibGlobalsForThread(&sta_, &err_, &cnt_, &cntl_);
    std::vector<pollfd> fds;
    while (!stopping_) {
        if (dropRequested_.exchange(false)) {
            while (!connections_.empty())
                close(connections_.begin()->first);
        }
        fds.assign({{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}});
        for (const auto& [fd, c] : connections_)
            fds.push_back({fd, POLLIN, 0});
        // A client asking message after message sends the next one at once.
        if (!bus::adapter::readySoon(fds.data(), fds.size()) &&
            ::poll(fds.data(), fds.size(), kTickMs) < 0 && errno != EINTR)
            break;
        if (stopping_) break;
        if ((fds[0].revents & POLLIN) != 0) accept();
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const auto found = connections_.find(fds[i].fd);
            if (found == connections_.end()) continue; // closed with its session
            if (silent_) {
                char sink[4096];
                if (::recv(fds[i].fd, sink, sizeof sink, 0) == 0) close(fds[i].fd);
                continue;
            }
            if (!receive(*found->second)) close(fds[i].fd);
        }
        if (!silent_) lookForServiceRequests();
    }
    bus_->UnregisterGpibGlobalsForThread();
}

void HislipServer::accept() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (connections_.size() >= kMaxConnections) {
            send(fd, typeOf(hs::Type::FatalError), hs::kFatalTooManyClients, 0,
                 "too many connections");
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        connections_[fd] = std::move(c);
    }
}

bool HislipServer::receive(Connection& c) {
    char* room = c.reader.space(kReceiveChunk);
    const ssize_t n = ::recv(c.fd, room, kReceiveChunk, 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    c.reader.commit(static_cast<std::size_t>(n));
    hs::Message m;
    const int fd = c.fd;
    for (;;) {
        const auto status = c.reader.next(m);
        if (status == hs::MessageReader::Status::NeedMore) return true;
        if (status == hs::MessageReader::Status::Bad) {
            const bool tooLong = c.reader.error().find("more than") != std::string::npos;
            send(fd, typeOf(hs::Type::FatalError),
                 tooLong ? hs::kFatalUnidentified : hs::kFatalBadHeader, 0, c.reader.error());
            return false;
        }
        if (!handle(c, m)) return false;
        // The message may have closed this connection's session.
        if (connections_.count(fd) == 0) return true;
    }
}

bool HislipServer::handle(Connection& c, const hs::Message& m) {
    if (c.session == 0) {
        if (m.type() == hs::Type::Initialize) return initialize(c, m);
        if (m.type() == hs::Type::AsyncInitialize) return asyncInitialize(c, m);
        send(c.fd, typeOf(hs::Type::FatalError), hs::kFatalNoChannels, 0,
             hs::typeName(m.header.type) + " before Initialize or AsyncInitialize");
        return false;
    }
    const auto found = sessions_.find(c.session);
    if (found == sessions_.end()) return false;
    Session& s = *found->second;
    if (s.syncFd < 0 || s.asyncFd < 0) {
        send(c.fd, typeOf(hs::Type::FatalError), hs::kFatalNoChannels, 0,
             "the asynchronous channel is not set up yet");
        return false;
    }
    return c.async ? asyncMessage(c, s, m) : syncMessage(c, s, m);
}

std::optional<std::pair<int, int>> HislipServer::listenerFor(const std::string& subAddress) {
    std::vector<bus::Addr4882> probe;
    if (subAddress.empty() || subAddress == "hislip0") {
        for (bus::Addr4882 pad = 1; pad <= 30; ++pad)
            probe.push_back(pad);
    } else {
        int pad = -1, sad = -1, used = 0;
        const int n = std::sscanf(subAddress.c_str(), "gpib0,%d%n,%d%n", &pad, &used, &sad, &used);
        if (n < 1 || used != static_cast<int>(subAddress.size()) || pad < 1 || pad > 30 ||
            (n == 2 && (sad < 0 || sad > 30)))
            return std::nullopt;
        probe.push_back(static_cast<bus::Addr4882>(pad | (n == 2 ? (0x60 + sad) << 8 : 0)));
    }
    probe.push_back(bus::NOADDR);
    std::vector<bus::Addr4882> found(probe.size());
    bus_->FindLstn(0, probe.data(), found.data(), static_cast<std::int32_t>(found.size()));
    if ((sta_ & bus::ERR) != 0 || cntl_ < 1) return std::nullopt;
    return std::make_pair(found[0] & 0xFF, found[0] >> 8);
}

bool HislipServer::initialize(Connection& c, const hs::Message& m) {
    const auto listener = listenerFor(m.payload);
    if (!listener) {
        send(c.fd, typeOf(hs::Type::FatalError), hs::kFatalBadInitialization, 0,
             "no device listens at \"" + m.payload.substr(0, 64) + "\"");
        return false;
    }
    auto s = std::make_unique<Session>();
    while (nextSession_ == 0 || sessions_.count(nextSession_) != 0)
        ++nextSession_;
    s->id = nextSession_++;
    s->pad = listener->first;
    s->sad = listener->second;
    s->udEnd = bus_->ibdev(0, s->pad, s->sad, bus::T3s, 1, 0);
    s->udMore = bus_->ibdev(0, s->pad, s->sad, bus::T3s, 0, 0);
    s->syncFd = c.fd;
    c.session = s->id;
    const std::uint16_t version = std::min<std::uint16_t>(
        static_cast<std::uint16_t>(m.header.parameter >> 16), hs::kProtocolVersion);
    const std::uint16_t id = s->id;
    sessions_[id] = std::move(s);
    // Control code 0: synchronized mode.
    return send(c.fd, typeOf(hs::Type::InitializeResponse), 0,
                static_cast<std::uint32_t>(version) << 16 | id);
}

bool HislipServer::asyncInitialize(Connection& c, const hs::Message& m) {
    const auto found = sessions_.find(static_cast<std::uint16_t>(m.header.parameter & 0xFFFF));
    if (found == sessions_.end() || found->second->asyncFd >= 0) {
        send(c.fd, typeOf(hs::Type::FatalError), hs::kFatalBadInitialization, 0,
             "no session " + std::to_string(m.header.parameter & 0xFFFF) +
                 " waits for its channel");
        return false;
    }
    found->second->asyncFd = c.fd;
    c.session = found->first;
    c.async = true;
    return send(c.fd, typeOf(hs::Type::AsyncInitializeResponse), 0, kVendorId);
}

bool HislipServer::syncMessage(Connection& c, Session& s, const hs::Message& m) {
    switch (m.type()) {
    case hs::Type::Data:
    case hs::Type::DataEnd: {
        const bool end = m.type() == hs::Type::DataEnd;
        if ((m.header.control & hs::kRmtDelivered) != 0) s.answerOut = false;
        bus_->ibwrt(end ? s.udEnd : s.udMore, m.payload.data(),
                    static_cast<std::int32_t>(m.payload.size()));
        if ((sta_ & bus::ERR) != 0)
            return send(c.fd, typeOf(hs::Type::Error), hs::kErrorUnidentified, 0,
                        "the device at " + std::to_string(s.pad) +
                            " did not take the message (error " + std::to_string(err_) + ")");
        // A query may come in several messages.
        s.query = s.query || m.payload.find('?') != std::string::npos;
        if (!end) return true;
        s.lastEndId = m.header.parameter;
        const bool query = s.query;
        s.query = false;
        return answer(s, query);
    }
    case hs::Type::DeviceClearComplete:
        s.answerOut = false;
        return send(c.fd, typeOf(hs::Type::DeviceClearAcknowledge), 0, 0);
    case hs::Type::Trigger:
        // The bus offers no group execute trigger to a server.
        return true;
    default:
        return send(c.fd, typeOf(hs::Type::Error),
                    m.header.type >= typeOf(hs::Type::FirstVendor) ? hs::kErrorUnknownVendor
                                                                   : hs::kErrorUnknownType,
                    0, hs::typeName(m.header.type) + " is not taken on the synchronous channel");
    }
}

bool HislipServer::answer(Session& s, bool query) {
    char status = 0;
    bus_->ibrsp(s.udEnd, &status);
    const bool polled = (sta_ & bus::ERR) == 0;
    if (polled && (status & kRqs) != 0) {
        // The poll took the request from the device: the client hears of it
        // here, and the next status query gives it the byte.
        s.requested = static_cast<std::uint8_t>(status);
        if (!send(s.asyncFd, typeOf(hs::Type::AsyncServiceRequest),
                  static_cast<std::uint8_t>(status), 0))
            return false;
    }
    if (!(polled && (status & kMav) != 0) && !query) return true;
    {
        const std::lock_guard<std::mutex> lock(injectMutex_);
        if (inject_) {
            const std::string bytes = std::move(*inject_);
            inject_.reset();
            return sendAll(s.syncFd, bytes.data(), bytes.size());
        }
    }
    const std::size_t most = static_cast<std::size_t>(std::clamp<std::uint64_t>(
        s.clientMax > hs::kHeaderSize ? s.clientMax - hs::kHeaderSize : 1, 1, kReadPiece));
    s.clearedWhileReading = false;
    for (bool first = true;; first = false) {
        bus_->ibrd(s.udEnd, chunk_.data(), static_cast<std::int32_t>(most));
        const auto count = static_cast<std::size_t>(std::max(cntl_, 0));
        const bool end = (sta_ & bus::END) != 0 && (sta_ & bus::ERR) == 0;
        if ((sta_ & bus::ERR) != 0 && count == 0) {
            // Nothing (more) to say: a device that ends without END leaves
            // the client to its time-out.
            (void)first;
            return true;
        }
        const hs::Type type = end ? hs::Type::DataEnd : hs::Type::Data;
        const bool sent =
            send(s.syncFd, typeOf(type), 0, s.lastEndId, std::string_view(chunk_.data(), count));
        if (sent && end) {
            s.answerOut = true;
            return true;
        }
        if (sent && (sta_ & bus::ERR) != 0) return true;
        switch (sent ? watchWhileReading(s) : Watched::Closed) {
        case Watched::GoOn:
            break;
        case Watched::Cleared:
            // The device is cleared and the clear acknowledged: the rest of
            // the answer is gone, and the client drops what it had of it.
            return true;
        case Watched::Closed:
            // Nobody takes the rest (the session ends): the device is not
            // left talking.
            bus_->ibclr(s.udEnd);
            return false;
        }
    }
}

HislipServer::Watched HislipServer::watchWhileReading(Session& s) {
    if (stopping_) return Watched::Closed;
    pollfd p[2] = {{s.syncFd, POLLIN, 0}, {s.asyncFd, POLLIN, 0}};
    if (::poll(p, 2, 0) <= 0) return Watched::GoOn;
    if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        // Only a look: the client's next message waits until the answer is out.
        char next = 0;
        const ssize_t n = ::recv(s.syncFd, &next, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return Watched::Closed;
    }
    if ((p[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const auto found = connections_.find(s.asyncFd);
        if (found == connections_.end() || !receive(*found->second)) return Watched::Closed;
        if (s.clearedWhileReading) return Watched::Cleared;
    }
    return Watched::GoOn;
}

bool HislipServer::asyncMessage(Connection& c, Session& s, const hs::Message& m) {
    switch (m.type()) {
    case hs::Type::AsyncMaximumMessageSize: {
        std::uint64_t size = 0;
        if (!hs::decodeSize(m.payload, size))
            return send(c.fd, typeOf(hs::Type::Error), hs::kErrorUnidentified, 0,
                        "AsyncMaximumMessageSize carries 8 bytes");
        s.clientMax = std::max<std::uint64_t>(size, hs::kHeaderSize + 1);
        return send(c.fd, typeOf(hs::Type::AsyncMaximumMessageSizeResponse), 0, 0,
                    hs::encodeSize(kServerMaxMessage));
    }
    case hs::Type::AsyncStatusQuery: {
        if ((m.header.control & hs::kRmtDelivered) != 0) s.answerOut = false;
        std::uint8_t status = 0;
        if (s.requested) {
            status = *s.requested;
            s.requested.reset();
        } else {
            char polled = 0;
            bus_->ibrsp(s.udEnd, &polled);
            if ((sta_ & bus::ERR) == 0) status = static_cast<std::uint8_t>(polled);
        }
        if (s.answerOut) status |= kMav;
        return send(c.fd, typeOf(hs::Type::AsyncStatusResponse), status, 0);
    }
    case hs::Type::AsyncDeviceClear:
        bus_->ibclr(s.udEnd);
        s.clearedWhileReading = true;
        s.answerOut = false;
        s.query = false;
        s.requested.reset();
        return send(c.fd, typeOf(hs::Type::AsyncDeviceClearAcknowledge), 0, 0);
    case hs::Type::AsyncLock: {
        std::uint8_t result = 0;
        if (m.header.control == 1) { // request
            if (lockHolder_ == 0 || lockHolder_ == s.id) {
                lockHolder_ = s.id;
                result = 1;
            }
        } else {
            result = lockHolder_ == s.id ? 1 : 3;
            if (lockHolder_ == s.id) lockHolder_ = 0;
        }
        return send(c.fd, typeOf(hs::Type::AsyncLockResponse), result, 0);
    }
    case hs::Type::AsyncLockInfo:
        return send(c.fd, typeOf(hs::Type::AsyncLockInfoResponse), lockHolder_ != 0 ? 1 : 0,
                    lockHolder_ != 0 ? 1 : 0);
    case hs::Type::AsyncRemoteLocalControl: {
        // 0 and 2 release remote enable, 6 only goes to local; the rest
        // assert it.
        const std::uint8_t request = m.header.control;
        if (request != 6) bus_->ibsre(0, request == 0 || request == 2 ? 0 : 1);
        return send(c.fd, typeOf(hs::Type::AsyncRemoteLocalResponse), 0, 0);
    }
    default:
        return send(c.fd, typeOf(hs::Type::Error),
                    m.header.type >= typeOf(hs::Type::FirstVendor) ? hs::kErrorUnknownVendor
                                                                   : hs::kErrorUnknownType,
                    0, hs::typeName(m.header.type) + " is not taken on the asynchronous channel");
    }
}

void HislipServer::lookForServiceRequests() {
    // One look at the bus's SRQ line first: an adapter's bus answers each
    // look with a round trip, and a gateway client may hold thirty sessions.
    const bool anyAsync = std::any_of(sessions_.begin(), sessions_.end(),
                                      [](const auto& s) { return s.second->asyncFd >= 0; });
    if (!anyAsync) return;
    bus_->ibwait(0, 0);
    if ((sta_ & bus::SRQI) == 0) return;
    for (auto& [id, s] : sessions_) {
        if (s->asyncFd < 0 || s->requested) continue;
        bus_->ibwait(s->udEnd, 0);
        if ((sta_ & bus::RQS) == 0) continue;
        char status = 0;
        bus_->ibrsp(s->udEnd, &status);
        if ((sta_ & bus::ERR) != 0 || (status & kRqs) == 0) continue;
        s->requested = static_cast<std::uint8_t>(status);
        const int fd = s->asyncFd;
        if (!send(fd, typeOf(hs::Type::AsyncServiceRequest), static_cast<std::uint8_t>(status),
                  0)) {
            close(fd);
            return; // the sessions changed
        }
    }
}

bool HislipServer::sendAll(int fd, const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, kSendMs) <= 0 || stopping_) return false;
    }
    return true;
}

bool HislipServer::send(int fd, std::uint8_t type, std::uint8_t control, std::uint32_t parameter,
                        std::string_view payload) {
    std::string header;
    hs::appendHeader(header, static_cast<hs::Type>(type), control, parameter, payload.size());
    // Small messages go in one piece; a long payload is not copied.
    if (payload.size() <= 4096) {
        header += payload;
        return sendAll(fd, header.data(), header.size());
    }
    return sendAll(fd, header.data(), header.size()) && sendAll(fd, payload.data(), payload.size());
}

void HislipServer::close(int fd) {
    const auto found = connections_.find(fd);
    if (found == connections_.end()) return;
    const std::uint16_t id = found->second->session;
    connections_.erase(found);
    ::close(fd);
    const auto session = sessions_.find(id);
    if (session == sessions_.end()) return;
    // Either channel closing ends the session and closes the other.
    Session& s = *session->second;
    const int other = s.syncFd == fd ? s.asyncFd : s.syncFd;
    bus_->ibonl(s.udEnd, 0);
    bus_->ibonl(s.udMore, 0);
    if (lockHolder_ == id) lockHolder_ = 0;
    sessions_.erase(session);
    if (other >= 0 && connections_.count(other) != 0) {
        connections_.erase(other);
        ::close(other);
    }
}

} // namespace serve
