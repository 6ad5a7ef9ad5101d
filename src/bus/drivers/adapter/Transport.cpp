#include "bus/drivers/adapter/Transport.h"

#include "bus/AsciiText.h"
#include "bus/drivers/adapter/Sockets.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <netinet/tcp.h>
#include <termios.h>
#else
#include <chrono>
#include <climits>
#endif

namespace bus::adapter {

namespace {

constexpr int kConnectTimeoutMs = 3000;

bool isComPort(const std::string& text) {
    std::string name = startsWithIgnoringCase(text, "\\\\.\\") ? text.substr(4) : text;
    return name.size() > 3 && startsWithIgnoringCase(name, "COM") &&
           std::all_of(name.begin() + 3, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Reads and drops what waits; a failed pipe (receive -1) has nothing.
void dropWaiting(Transport& pipe) {
    char sink[4096];
    while (pipe.receive(sink, sizeof sink, 0) > 0) {
    }
}

#ifndef _WIN32
// A socket, or a terminal device libserialport does not know.
class FdTransport final : public Transport {
public:
    FdTransport(int fd, bool socket) : fd_(fd), socket_(socket) {}
    ~FdTransport() override { ::close(fd_); }
    FdTransport(const FdTransport&) = delete;
    FdTransport& operator=(const FdTransport&) = delete;

    bool send(const char* data, std::size_t size, int timeoutMs) override {
        while (!failed_ && size > 0) {
            if (!wait(POLLOUT, timeoutMs)) return failed_ = true, false;
            const ssize_t n =
                socket_ ? ::send(fd_, data, size, MSG_NOSIGNAL) : ::write(fd_, data, size);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) return failed_ = true, false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int timeoutMs) override {
        if (failed_) return -1;
        if (!wait(POLLIN, timeoutMs, socket_)) return failed_ ? -1 : 0;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return 0;
            if (n <= 0) return failed_ = true, -1;
            return n;
        }
    }
    void discardInput() override { dropWaiting(*this); }

private:
    // Whether the socket is ready; a hang-up or error marks the pipe failed.
    // An answer due `soon` is looked for a moment before the thread sleeps.
    bool wait(short events, int timeoutMs, bool soon = false) {
        pollfd p{fd_, events, 0};
        int r = 1;
        if (!soon || timeoutMs == 0 || !readySoon(&p, 1)) {
            do {
                r = ::poll(&p, 1, timeoutMs);
            } while (r < 0 && errno == EINTR);
        }
        if (r < 0 || (p.revents & (POLLERR | POLLNVAL)) != 0) failed_ = true;
        return r > 0 && (p.revents & (events | POLLHUP)) != 0 && !failed_;
    }

    int fd_;
    bool socket_;
    bool failed_ = false;
};

std::unique_ptr<Transport> openTerminal(const std::string& name, std::string& error) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = name + ": " + reasonFor(errno);
        return nullptr;
    }
    termios raw{};
    if (::tcgetattr(fd, &raw) != 0) {
        error = name + ": not a serial port";
        ::close(fd);
        return nullptr;
    }
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B115200);
    ::tcsetattr(fd, TCSANOW, &raw);
    return std::make_unique<FdTransport>(fd, false);
}

std::unique_ptr<Transport> openTcp(const std::string& host, int tcpPort, std::string& error) {
    const std::string where = hostAndPort(host, tcpPort);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(tcpPort).c_str(), &hints, &found);
    if (lookup != 0) {
        error = where + ": " + ::gai_strerror(lookup);
        return nullptr;
    }
    std::string why = "no address";
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            r = ::poll(&p, 1, kConnectTimeoutMs);
            int soError = 0;
            socklen_t length = sizeof soError;
            if (r == 0) {
                soError = ETIMEDOUT;
            } else if (r > 0) {
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
            } else {
                soError = errno;
            }
            r = soError == 0 ? 0 : -1;
            errno = soError;
        }
        if (r == 0) {
            ::freeaddrinfo(found);
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return std::make_unique<FdTransport>(fd, true);
        }
        why = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    error = where + ": " + why;
    return nullptr;
}
#else
std::unique_ptr<Transport> openTerminal(const std::string& name, std::string& error) {
    error = name + ": " + reasonFor(ENOENT);
    return nullptr;
}

// Waits until the socket can be read, or written; >0 when it can, 0 when the
// time-out passed, -1 when it failed (a refused connect shows only in the
// exception set). A closed or reset connection reads as ready.
int waitFor(SOCKET s, bool write, int timeoutMs) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval t{std::max(timeoutMs, 0) / 1000, std::max(timeoutMs, 0) % 1000 * 1000};
    const int r = write ? ::select(0, nullptr, &ready, &failed, &t)
                        : ::select(0, &ready, nullptr, nullptr, &t);
    return r > 0 && !FD_ISSET(s, &ready) ? -1 : r;
}

class SocketTransport final : public Transport {
public:
    explicit SocketTransport(SOCKET s) : s_(s) {}
    ~SocketTransport() override { ::closesocket(s_); }
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    bool send(const char* data, std::size_t size, int timeoutMs) override {
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        while (!failed_ && size > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0 || waitFor(s_, true, static_cast<int>(left)) <= 0)
                return failed_ = true, false;
            const int n =
                ::send(s_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
            if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
            if (n <= 0) return failed_ = true, false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int timeoutMs) override {
        if (failed_) return -1;
        WSAPOLLFD p{s_, POLLRDNORM, 0};
        const int ready = timeoutMs != 0 && readySoon(&p, 1) ? 1 : waitFor(s_, false, timeoutMs);
        if (ready < 0) return failed_ = true, -1;
        if (ready == 0) return 0;
        const int n = ::recv(s_, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
        if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return 0;
        if (n <= 0) return failed_ = true, -1;
        return n;
    }
    void discardInput() override { dropWaiting(*this); }

private:
    SOCKET s_;
    bool failed_ = false;
};

std::unique_ptr<Transport> openTcp(const std::string& host, int tcpPort, std::string& error) {
    const std::string where = hostAndPort(host, tcpPort);
    if (const int code = winsockStarted(); code != 0) {
        error = where + ": the network is not available (" + winsockReason(code) + ")";
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(tcpPort).c_str(), &hints, &found);
    if (lookup != 0) {
        error = where + ": " + winsockReason(lookup);
        return nullptr;
    }
    std::string why = "no address";
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            why = winsockReason(::WSAGetLastError());
            continue;
        }
        // Not handed down to programs this one starts (the console's shell).
        ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        u_long nonBlocking = 1;
        int code = ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0 ? 0 : ::WSAGetLastError();
        if (code == 0 && ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            code = ::WSAGetLastError();
            if (code == WSAEWOULDBLOCK) {
                const int r = waitFor(s, true, kConnectTimeoutMs);
                int soError = 0;
                int length = sizeof soError;
                // A refused connect shows only in the exception set (r < 0);
                // its reason is the socket's pending error.
                if (r == 0)
                    code = WSAETIMEDOUT;
                else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError),
                                      &length) != 0)
                    code = ::WSAGetLastError();
                else
                    code = soError != 0 ? soError : r < 0 ? WSAECONNABORTED : 0;
            }
        }
        if (code == 0) {
            ::freeaddrinfo(found);
            const BOOL on = TRUE;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
            return std::make_unique<SocketTransport>(s);
        }
        why = winsockReason(code);
        ::closesocket(s);
    }
    ::freeaddrinfo(found);
    error = where + ": " + why;
    return nullptr;
}
#endif

} // namespace

// The reason an OS error code gives, for the operator.
std::string reasonFor(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return "permission denied (the user is not in the group that owns serial ports, "
               "usually 'dialout': sudo adduser $USER dialout, then log in again)";
    case EBUSY:
        return "the port is busy (another program has it open)";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "no such port (is the adapter plugged in?)";
    default:
        return std::strerror(code);
    }
}

std::unique_ptr<Transport> openPlainTerminal(const std::string& name, std::string& error) {
    return openTerminal(name, error);
}

AdapterAddress parseAdapterAddress(const std::string& text, int defaultTcpPort,
                                   std::string& error) {
    AdapterAddress address;
    if (startsWithIgnoringCase(text, "/dev/") || isComPort(text)) {
        address.serial = true;
        address.port = text;
        return address;
    }
    std::string host = text, port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        host = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < text.size() && text[close + 1] == ':')
            port = text.substr(close + 2);
    } else if (const auto colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    address.host = host;
    address.tcpPort = defaultTcpPort;
    if (!port.empty()) {
        const bool digits = port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c));
                            });
        address.tcpPort = digits ? std::stoi(port) : 0;
        if (address.tcpPort < 1 || address.tcpPort > 65535) {
            error = text + ": the TCP port must be a number from 1 to 65535";
            return address;
        }
    }
    if (host.empty()) error = "no serial port or host given";
    return address;
}

std::unique_ptr<Transport> openTransport(const AdapterAddress& address, std::string& error) {
    return address.serial ? openSerial(address.port, error)
                          : openTcp(address.host, address.tcpPort, error);
}

} // namespace bus::adapter
