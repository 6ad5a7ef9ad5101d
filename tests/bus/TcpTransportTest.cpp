// The TCP pipe of the network back ends, against a loopback listener in this
// program: the same test for Winsock (under Wine) and POSIX sockets.
#include "bus/drivers/adapter/Transport.h"
#include "support/LoopbackListener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using bus::adapter::Transport;

// Listens on 127.0.0.1, any free port, and opens a pipe to itself.
struct Loopback {
    Loopback() : port(listener.port()) {
        EXPECT_TRUE(listener.ok());
        std::string error;
        pipe = bus::adapter::openTransport({false, "", "127.0.0.1", port}, error);
        EXPECT_TRUE(pipe) << error;
        peer = pipe ? listener.accept() : ::socket(AF_INET, SOCK_STREAM, 0);
    }
    ~Loopback() { bus::adapter::closeSocket(peer); }
    // A few bytes of one send arrive in one piece on loopback.
    std::string receive() {
        char got[64];
        const long n = pipe->receive(got, sizeof got, 5000);
        return n > 0 ? std::string(got, static_cast<std::size_t>(n)) : std::to_string(n);
    }

    testing_support::LoopbackListener listener;
    int port = 0;
    bus::adapter::Socket peer;
    std::unique_ptr<Transport> pipe;
};

TEST(TcpTransport, CarriesBytesBothWaysWaitsNoLongerThanAskedAndDropsUnreadInput) {
    Loopback link;
    ASSERT_TRUE(link.pipe);
    char c;
    EXPECT_EQ(link.pipe->receive(&c, 1, 50), 0) << "nothing came";
    ASSERT_TRUE(link.pipe->send("*IDN?\n", 6, 1000)) << "a time-out does not fail the pipe";
    char got[16] = {};
    EXPECT_EQ(::recv(link.peer, got, sizeof got, 0), 6);
    EXPECT_STREQ(got, "*IDN?\n");
    ::send(link.peer, "stale\n", 6, 0);
    EXPECT_EQ(link.pipe->receive(&c, 1, 5000), 1);
    link.pipe->discardInput();
    ::send(link.peer, "fresh\n", 6, 0);
    EXPECT_EQ(link.receive(), "fresh\n");
}

TEST(TcpTransport, APeerThatHangsUpFailsThePipeForGood) {
    Loopback link;
    ASSERT_TRUE(link.pipe);
    ::shutdown(link.peer, 2); // both ways (SHUT_RDWR, SD_BOTH): the peer is gone
    EXPECT_EQ(link.receive(), "-1");
    char c;
    EXPECT_EQ(link.pipe->receive(&c, 1, 0), -1);
    EXPECT_FALSE(link.pipe->send("x", 1, 1000));
}

TEST(TcpTransport, ARefusedConnectionNamesHostPortAndReason) {
    int port;
    {
        const Loopback gone; // its port was free a moment ago, and now nobody listens there
        port = gone.port;
    }
    std::string error;
    EXPECT_FALSE(bus::adapter::openTransport({false, "", "127.0.0.1", port}, error));
    EXPECT_THAT(error,
                testing::AllOf(testing::HasSubstr("127.0.0.1:" + std::to_string(port) + ": "),
                               testing::HasSubstr("refused")));
}

// The short look before a thread sleeps: an idle socket is given up on, one
// with bytes waiting is found and its revents say so.
TEST(TcpTransport, ReadySoonFindsBytesWaitingAndGivesUpOnAnIdleSocket) {
    Loopback link;
    ASSERT_TRUE(link.pipe);
    bus::adapter::PollFd idle{link.peer, POLLRDNORM, 0};
    EXPECT_FALSE(bus::adapter::readySoon(&idle, 1));
    ASSERT_TRUE(link.pipe->send("x", 1, 1000));
    ASSERT_GT(bus::adapter::pollOne(link.peer, 5000), 0);
    bus::adapter::PollFd waiting{link.peer, POLLRDNORM, 0};
    EXPECT_TRUE(bus::adapter::readySoon(&waiting, 1));
    EXPECT_NE(waiting.revents & POLLRDNORM, 0);
}

} // namespace
