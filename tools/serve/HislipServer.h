#pragma once

#include "bus/Driver.h"
#include "bus/drivers/hislip/Hislip.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace serve {

struct HislipOptions {
    std::string listen = "127.0.0.1"; // the address to listen on; 0.0.0.0 for every interface
    int port = 0;                     // the TCP port (4880 is the standard one); 0: any free port
};

// A HiSLIP server in front of a bus, in synchronized mode: sub-address
// hislip0 (or none) is the lowest-addressed listener, gpib0,N and gpib0,N,S
// the device at N (and secondary S). Several clients at once; every session
// reaches the bus from one thread, in the order the messages come.
//
// HiSLIP has no read request: after a message that ends with END, the device
// is polled, and an answer it has (MAV), or that a query ('?') asks for, is
// read and sent at once, in pieces; a device clear or a closed session stops
// a long answer between two pieces. Other sessions wait while one is read. A service request the
// server notices is sent on the session's asynchronous channel, and its status byte is the next
// status query's answer.
class HislipServer {
public:
    HislipServer(HislipOptions options, std::unique_ptr<bus::Driver> bus);
    ~HislipServer();
    HislipServer(const HislipServer&) = delete;
    HislipServer& operator=(const HislipServer&) = delete;

    // Why it could not start; empty when it runs.
    const std::string& error() const { return error_; }
    // What clients use to reach it, one line each.
    std::vector<std::string> reachWith() const;
    int port() const { return port_; }

    // For tests: reads and answers nothing from now on (a hung server).
    void setSilent(bool silent) { silent_ = silent; }
    // For tests: closes every connection, as a server that restarts would.
    void dropConnections() { dropRequested_ = true; }
    // For tests: the next answer on a synchronous channel is these bytes.
    void replaceNextAnswer(std::string bytes);

private:
    struct Connection;
    struct Session;

    void run();
    void accept();
    bool receive(Connection& c);
    bool handle(Connection& c, const bus::hislip::Message& m);
    bool syncMessage(Connection& c, Session& s, const bus::hislip::Message& m);
    bool asyncMessage(Connection& c, Session& s, const bus::hislip::Message& m);
    bool initialize(Connection& c, const bus::hislip::Message& m);
    bool asyncInitialize(Connection& c, const bus::hislip::Message& m);
    bool answer(Session& s, bool query);
    enum class Watched { GoOn, Cleared, Closed };
    // Between two pieces of an answer: takes what the session's asynchronous
    // channel brought, and says whether the read is to stop.
    Watched watchWhileReading(Session& s);
    void lookForServiceRequests();
    bool sendAll(int fd, const char* data, std::size_t size);
    bool send(int fd, std::uint8_t type, std::uint8_t control, std::uint32_t parameter,
              std::string_view payload = {});
    void close(int fd);
    std::optional<std::pair<int, int>> listenerFor(const std::string& subAddress);

    HislipOptions options_;
    std::unique_ptr<bus::Driver> bus_;
    std::string error_;
    int port_ = 0;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false}, silent_{false}, dropRequested_{false};
    std::mutex injectMutex_;
    std::optional<std::string> inject_;
    std::thread thread_;

    std::map<int, std::unique_ptr<Connection>> connections_;
    std::map<std::uint16_t, std::unique_ptr<Session>> sessions_;
    std::uint16_t nextSession_ = 1;
    std::uint16_t lockHolder_ = 0; // the session that holds the lock, 0 for none
    std::int32_t sta_ = 0, err_ = 0, cnt_ = 0, cntl_ = 0;
    std::vector<char> chunk_;
};

} // namespace serve
