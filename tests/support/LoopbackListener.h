#pragma once

// A TCP listener on 127.0.0.1 at a free port, for tests that play the far
// end of a connection; POSIX sockets or Winsock alike.
#include "bus/drivers/adapter/Sockets.h"

namespace testing_support {

class LoopbackListener {
public:
    LoopbackListener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ok_ = fd_ != bus::adapter::kNoSocket &&
              ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
              ::listen(fd_, 4) == 0 &&
              ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) == 0;
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() {
        if (fd_ != bus::adapter::kNoSocket) bus::adapter::closeSocket(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool ok() const { return ok_; }
    int port() const { return port_; }
    bus::adapter::Socket fd() const { return fd_; }
    bus::adapter::Socket accept() const { return ::accept(fd_, nullptr, nullptr); }

private:
    bus::adapter::SocketLibrary library_; // first: Winsock before the socket
    bus::adapter::Socket fd_;
    bool ok_ = false;
    int port_ = 0;
};

} // namespace testing_support
