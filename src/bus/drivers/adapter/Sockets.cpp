#include "bus/drivers/adapter/Sockets.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace bus::adapter {

std::string hostAndPort(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    const std::string shown = v6 ? "[" + host + "]" : host;
    return port > 0 ? shown + ":" + std::to_string(port) : shown;
}

#ifdef _WIN32
std::string winsockReason(int code) {
    switch (code) {
    case WSAECONNREFUSED:
        return "connection refused (nothing listens on that port)";
    case WSAETIMEDOUT:
        return "no answer (connection timed out)";
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return "no route to the host";
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return "no such host";
    case WSATRY_AGAIN:
        return "the name server did not answer";
    case WSAECONNRESET:
        return "the connection was reset";
    }
    char text[256] = {};
    const DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string reason(text, n);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "Winsock error " + std::to_string(code) : reason;
}

int winsockStarted() {
    static const int code = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return code;
}

SocketLibrary::SocketLibrary() {
    WSADATA data;
    ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SocketLibrary::~SocketLibrary() {
    if (ok) ::WSACleanup();
}

void closeSocket(Socket s) {
    ::closesocket(s);
}

int pollSockets(PollFd* fds, std::size_t n, int timeoutMs) {
    return ::WSAPoll(fds, static_cast<ULONG>(n), timeoutMs);
}

int pollOne(Socket s, int timeoutMs) {
    WSAPOLLFD p{s, POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, timeoutMs);
}

std::string socketError() {
    return "winsock error " + std::to_string(::WSAGetLastError());
}
#else
SocketLibrary::SocketLibrary() : ok(true) {}
SocketLibrary::~SocketLibrary() = default;

void closeSocket(Socket s) {
    ::close(s);
}

int pollSockets(PollFd* fds, std::size_t n, int timeoutMs) {
    int r;
    do {
        r = ::poll(fds, n, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

int pollOne(Socket s, int timeoutMs) {
    pollfd p{s, POLLIN, 0};
    return pollSockets(&p, 1, timeoutMs);
}

std::string socketError() {
    return std::strerror(errno);
}
#endif

bool readySoon(PollFd* fds, std::size_t n) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::microseconds(kAnswerSoonUs);
    do {
        const int r = pollSockets(fds, n, 0);
        if (r > 0) return true;
        if (r < 0) break; // the caller's own poll says what is wrong
    } while (Clock::now() < until);
    return false;
}

} // namespace bus::adapter
