#include "bus/drivers/vxi11/SrqListener.h"

#include "bus/drivers/vxi11/OncRpc.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace bus::vxi11 {

namespace {

constexpr std::uint32_t kInterruptProgram = 0x0607B1;
constexpr std::uint32_t kInterruptVersion = 1;
constexpr std::uint32_t kIntrSrq = 30;
// A device_intr_srq call is a handle of at most 40 bytes and a header.
constexpr std::size_t kMaxCall = 4096;
constexpr std::size_t kMaxHandle = 40;
constexpr std::size_t kMaxConnections = 4;
constexpr std::size_t kMaxPending = 256;
// How often the thread looks whether it is to end.
constexpr int kLookMs = 50;

#ifndef _WIN32
class PosixSrqListener final : public SrqListener {
public:
    PosixSrqListener(int fd, std::uint32_t address, int port)
        : fd_(fd), address_(address), port_(port), thread_([this] { run(); }) {}
    ~PosixSrqListener() override {
        stop_ = true;
        thread_.join();
        for (const Peer& p : peers_)
            ::close(p.fd);
        ::close(fd_);
    }
    PosixSrqListener(const PosixSrqListener&) = delete;
    PosixSrqListener& operator=(const PosixSrqListener&) = delete;

    std::uint32_t address() const override { return address_; }
    int port() const override { return port_; }
    std::vector<std::string> take(int waitMs) override {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !handles_.empty(); });
        return std::exchange(handles_, {});
    }

private:
    struct Peer {
        int fd;
        RecordReader records{kMaxCall};
    };

    void run() {
        while (!stop_) {
            std::vector<pollfd> fds{{fd_, POLLIN, 0}};
            for (const Peer& p : peers_)
                fds.push_back({p.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), kLookMs) <= 0) continue;
            if ((fds[0].revents & POLLIN) != 0) {
                // The newest connection is the server's channel of now; the
                // oldest gives way to it.
                const int peer = ::accept(fd_, nullptr, nullptr);
                if (peer >= 0 && peers_.size() == kMaxConnections) {
                    ::close(peers_.front().fd);
                    peers_.erase(peers_.begin());
                    fds.erase(fds.begin() + 1);
                }
                if (peer >= 0) peers_.push_back({peer});
            }
            for (std::size_t i = fds.size() - 1; i > 0; --i) {
                if (fds[i].revents == 0) continue;
                if (!serve(peers_[i - 1])) {
                    ::close(peers_[i - 1].fd);
                    peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(i - 1));
                }
            }
        }
    }

    // Reads what the peer sent and answers its calls; false when the
    // connection is over or sent what is not RPC.
    bool serve(Peer& peer) {
        char chunk[1024];
        const ssize_t n = ::recv(peer.fd, chunk, sizeof chunk, 0);
        if (n <= 0) return n < 0 && errno == EINTR;
        peer.records.feed(chunk, static_cast<std::size_t>(n));
        std::string record, error;
        for (;;) {
            const auto status = peer.records.next(record, error);
            if (status == RecordReader::Status::NeedMore) return true;
            if (status == RecordReader::Status::Failed) return false;
            XdrReader in(record);
            RpcCall call;
            if (!readRpcCall(in, call, error)) return false;
            std::string handle;
            AcceptStat stat = AcceptStat::Success;
            if (call.program != kInterruptProgram || call.version != kInterruptVersion)
                stat = AcceptStat::ProgramUnavailable;
            else if (call.procedure != kIntrSrq)
                stat = AcceptStat::ProcedureUnavailable;
            else if (!in.opaque(handle, kMaxHandle))
                stat = AcceptStat::GarbageArguments;
            if (stat == AcceptStat::Success) {
                const std::lock_guard lock(mutex_);
                if (handles_.size() < kMaxPending) handles_.push_back(handle);
                cv_.notify_all();
            }
            const std::string reply = recordOf(rpcReply(call.xid, stat).bytes());
            if (::send(peer.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
                static_cast<ssize_t>(reply.size()))
                return false;
        }
    }

    int fd_;
    std::uint32_t address_;
    int port_;
    std::vector<Peer> peers_; // only the thread touches them
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> handles_;
    std::thread thread_; // last: starts once the rest is set up
};

// The local address the system would send from to reach the peer: a
// connected UDP socket sends nothing, but is given that address.
bool localAddressFor(const std::string& peerHost, in_addr& local, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (const int r = ::getaddrinfo(peerHost.c_str(), "111", &hints, &found); r != 0) {
        error = peerHost + ": no IPv4 address (" + ::gai_strerror(r) + ")";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in own{};
    socklen_t length = sizeof own;
    const bool ok = fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) == 0;
    if (fd >= 0) ::close(fd);
    ::freeaddrinfo(found);
    if (!ok) {
        error = peerHost + ": no route (" + std::strerror(errno) + ")";
        return false;
    }
    local = own.sin_addr;
    return true;
}
#endif

} // namespace

std::unique_ptr<SrqListener> listenForSrq(const std::string& peerHost, std::string& error) {
#ifndef _WIN32
    in_addr local{};
    if (!localAddressFor(peerHost, local, error)) return nullptr;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr = local;
    socklen_t length = sizeof at;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        error = std::string("the interrupt channel's listener: ") + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSrqListener>(fd, ntohl(local.s_addr), ntohs(at.sin_port));
#else
    error = peerHost + ": no interrupt channel on this system";
    return nullptr;
#endif
}

} // namespace bus::vxi11
