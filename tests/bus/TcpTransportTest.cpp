// The TCP pipe under the network back ends (Prologix/AR488 over LAN, VXI-11,
// HiSLIP), against a listener on loopback in this program, so it runs the
// same under Wine (Winsock) as on Linux.

#include "bus/drivers/adapter/Transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using bus::adapter::Transport;
using testing::HasSubstr;

#ifdef _WIN32
using Socket = SOCKET;
void closeSocket(Socket s) {
    ::closesocket(s);
}
#else
using Socket = int;
void closeSocket(Socket s) {
    ::close(s);
}
#endif

// A listener on 127.0.0.1, any free port; `accept` takes the one client.
struct Loopback {
    Loopback() {
#ifdef _WIN32
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    ~Loopback() {
        if (peer != Socket(-1)) closeSocket(peer);
        closeSocket(listener);
#ifdef _WIN32
        ::WSACleanup();
#endif
    }
    std::unique_ptr<Transport> connect(std::string& error) const {
        return bus::adapter::openTransport({false, "", "127.0.0.1", port}, error);
    }
    void accept() {
        peer = ::accept(listener, nullptr, nullptr);
    }
    void say(const std::string& bytes) const {
        ::send(peer, bytes.data(), static_cast<int>(bytes.size()), 0);
    }
    std::string hear(std::size_t size) const {
        std::string got(size, '\0');
        for (std::size_t had = 0; had < size;) {
            const auto n = ::recv(peer, got.data() + had, static_cast<int>(size - had), 0);
            if (n <= 0) return got.substr(0, had);
            had += static_cast<std::size_t>(n);
        }
        return got;
    }

    Socket listener;
    Socket peer = Socket(-1);
    int port = 0;
};

// Reads `size` bytes, each wait long enough for loopback.
std::string readFrom(Transport& t, std::size_t size) {
    std::string got;
    char chunk[64];
    while (got.size() < size) {
        const long n = t.receive(chunk, std::min(sizeof chunk, size - got.size()), 5000);
        if (n <= 0) break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(TcpTransport, CarriesBytesBothWaysAndDropsWhatWasNotRead) {
    Loopback server;
    std::string error;
    const auto t = server.connect(error);
    ASSERT_TRUE(t) << error;
    server.accept();

    ASSERT_TRUE(t->send("*IDN?\n", 6, 1000));
    EXPECT_EQ(server.hear(6), "*IDN?\n");
    server.say("stale answer\n");
    EXPECT_EQ(readFrom(*t, 1), "s");
    t->discardInput();
    server.say("fresh\n");
    EXPECT_EQ(readFrom(*t, 6), "fresh\n");
}

TEST(TcpTransport, ASilentPeerGivesNothingWhenTheTimeOutPasses) {
    Loopback server;
    std::string error;
    const auto t = server.connect(error);
    ASSERT_TRUE(t) << error;
    server.accept();
    char c;
    EXPECT_EQ(t->receive(&c, 1, 50), 0);
    EXPECT_EQ(t->receive(&c, 1, 0), 0);
    EXPECT_TRUE(t->send("x", 1, 1000)) << "a time-out does not fail the pipe";
}

TEST(TcpTransport, APeerThatHangsUpFailsThePipeForGood) {
    Loopback server;
    std::string error;
    const auto t = server.connect(error);
    ASSERT_TRUE(t) << error;
    server.accept();
    closeSocket(server.peer);
    server.peer = Socket(-1);
    char c;
    EXPECT_EQ(t->receive(&c, 1, 5000), -1);
    EXPECT_EQ(t->receive(&c, 1, 0), -1);
    EXPECT_FALSE(t->send("x", 1, 1000));
}

TEST(TcpTransport, ARefusedConnectionNamesHostPortAndReason) {
    int port;
    {
        const Loopback closed; // the port was free a moment ago, and now nobody listens
        port = closed.port;
    }
    std::string error;
    EXPECT_FALSE(bus::adapter::openTransport({false, "", "127.0.0.1", port}, error));
    EXPECT_THAT(error, HasSubstr("127.0.0.1:" + std::to_string(port) + ": "));
    EXPECT_THAT(error, HasSubstr("refused"));
}

} // namespace
