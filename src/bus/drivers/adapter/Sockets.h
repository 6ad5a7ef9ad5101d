#pragma once

// The few socket calls that differ between POSIX and Winsock, so the bus
// layer's network code is written once for both.
#include <cstddef>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace bus::adapter {

#ifdef _WIN32
using Socket = SOCKET;
using PollFd = WSAPOLLFD;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;

// Why Winsock refused, for the operator: the usual network failures in
// words, anything else as the system says it.
std::string winsockReason(int code);
// Winsock started once for the whole program (0, or why not): sockets may
// outlive any one user.
int winsockStarted();
#else
using Socket = int;
using PollFd = pollfd;
constexpr Socket kNoSocket = -1;
// A peer that went away fails the send instead of ending the program.
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

// Winsock started for as long as this lives (nothing to start elsewhere).
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

    bool ok = false;
};

void closeSocket(Socket s);
// poll()/WSAPoll(), going on after a signal.
int pollSockets(PollFd* fds, std::size_t n, int timeoutMs);
// Waits for bytes on one socket: >0 when some came, 0 after the time-out.
int pollOne(Socket s, int timeoutMs);
// For an answer due at once: a peer on this machine or a near network answers
// sooner than the system wakes a sleeping thread (tens of microseconds, more
// on a virtual machine), so before a caller sleeps in its own poll this looks
// again and again, kAnswerSoonUs at most, and says whether a socket is ready
// (its revents then filled in).
constexpr int kAnswerSoonUs = 60;
bool readySoon(PollFd* fds, std::size_t n);
// What went wrong with the last socket call, in words.
std::string socketError();
// How messages name a peer: an IPv6 host in brackets, then ":port" unless
// the port is 0.
std::string hostAndPort(const std::string& host, int port);

} // namespace bus::adapter
