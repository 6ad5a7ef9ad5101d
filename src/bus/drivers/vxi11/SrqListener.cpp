#include "bus/drivers/vxi11/SrqListener.h"

#include "bus/drivers/adapter/Sockets.h"
#include "bus/drivers/vxi11/OncRpc.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#endif

namespace bus::vxi11 {

namespace {

using adapter::closeSocket;
using adapter::kNoSocket;
using adapter::kSendFlags;
using adapter::PollFd;
using adapter::pollSockets;
using adapter::Socket;
using adapter::socketError;
using adapter::SocketLibrary;

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

class SocketSrqListener final : public SrqListener {
public:
    SocketSrqListener(std::unique_ptr<SocketLibrary> library, Socket fd, std::uint32_t address,
                      int port)
        : library_(std::move(library)), fd_(fd), address_(address), port_(port),
          thread_([this] { run(); }) {}
    ~SocketSrqListener() override {
        stop_ = true;
        thread_.join();
        for (const Peer& p : peers_)
            closeSocket(p.fd);
        closeSocket(fd_);
    }
    SocketSrqListener(const SocketSrqListener&) = delete;
    SocketSrqListener& operator=(const SocketSrqListener&) = delete;

    std::uint32_t address() const override { return address_; }
    int port() const override { return port_; }
    std::vector<std::string> take(int waitMs) override {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !handles_.empty(); });
        return std::exchange(handles_, {});
    }

private:
    struct Peer {
        Socket fd;
        RecordReader records{kMaxCall};
    };

    void run() {
        while (!stop_) {
            std::vector<PollFd> fds{{fd_, POLLIN, 0}};
            for (const Peer& p : peers_)
                fds.push_back({p.fd, POLLIN, 0});
            if (pollSockets(fds.data(), fds.size(), kLookMs) <= 0) continue;
            if ((fds[0].revents & POLLIN) != 0) {
                // The newest connection is the server's channel of now; the
                // oldest gives way to it.
                const Socket peer = ::accept(fd_, nullptr, nullptr);
                if (peer != kNoSocket && peers_.size() == kMaxConnections) {
                    closeSocket(peers_.front().fd);
                    peers_.erase(peers_.begin());
                    fds.erase(fds.begin() + 1);
                }
                if (peer != kNoSocket) peers_.push_back({peer});
            }
            for (std::size_t i = fds.size() - 1; i > 0; --i) {
                if (fds[i].revents == 0) continue;
                if (!serve(peers_[i - 1])) {
                    closeSocket(peers_[i - 1].fd);
                    peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(i - 1));
                }
            }
        }
    }

    // Reads what the peer sent and answers its calls; false when the
    // connection is over or sent what is not RPC.
    bool serve(Peer& peer) {
        char chunk[1024];
        const auto n = ::recv(peer.fd, chunk, static_cast<int>(sizeof chunk), 0);
        if (n <= 0) return false;
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
            // A reply of a few words; a server that does not read it is not
            // waited for past the socket's own buffer.
            const std::string reply = recordOf(rpcReply(call.xid, stat).bytes());
            if (::send(peer.fd, reply.data(), static_cast<int>(reply.size()), kSendFlags) !=
                static_cast<int>(reply.size()))
                return false;
        }
    }

    std::unique_ptr<SocketLibrary> library_;
    Socket fd_;
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
    if (::getaddrinfo(peerHost.c_str(), "111", &hints, &found) != 0 || found == nullptr) {
        error = peerHost + ": no IPv4 address, so service requests are polled for";
        return false;
    }
    const Socket fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in own{};
    socklen_t length = sizeof own;
    const bool ok = fd != kNoSocket &&
                    ::connect(fd, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) == 0;
    if (!ok) error = peerHost + ": no route (" + socketError() + ")";
    if (fd != kNoSocket) closeSocket(fd);
    ::freeaddrinfo(found);
    if (ok) local = own.sin_addr;
    return ok;
}

} // namespace

std::unique_ptr<SrqListener> listenForSrq(const std::string& peerHost, std::string& error) {
    auto library = std::make_unique<SocketLibrary>();
    in_addr local{};
    if (!library->ok || !localAddressFor(peerHost, local, error)) return nullptr;
    const Socket fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr = local;
    socklen_t length = sizeof at;
    if (fd == kNoSocket || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        error = "the interrupt channel's listener: " + socketError();
        if (fd != kNoSocket) closeSocket(fd);
        return nullptr;
    }
#ifndef _WIN32
    // Not handed on to programs this one starts.
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#endif
    return std::make_unique<SocketSrqListener>(std::move(library), fd, ntohl(local.s_addr),
                                               ntohs(at.sin_port));
}

} // namespace bus::vxi11
