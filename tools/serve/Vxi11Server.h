#pragma once

#include "Portmapper.h"
#include "Vxi11Calls.h"
#include "bus/Driver.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serve {

struct Vxi11Options {
    std::string listen = "127.0.0.1"; // the address to listen on; 0.0.0.0 for every interface
    int corePort = 0;                 // the core channel's TCP port; 0: any free port
    // The portmapper's port, TCP and UDP; 0: any free port. When 111 cannot
    // be had, the core channel is registered with the system's rpcbind, and
    // without one the portmapper takes a free port.
    int portmapperPort = 111;
    int abortPort = 0; // the abort channel's TCP port; 0: any free port
};

// A VXI-11 gateway in front of a bus: gpib0,N (and gpib0,N,S) for each
// listener, inst0 for the lowest-addressed one, with the abort and
// interrupt channels, per-device locks and a portmapper of its own. Each
// connection is served on its own thread; calls into the bus take turns.
class Vxi11Server {
public:
    Vxi11Server(Vxi11Options options, std::unique_ptr<bus::Driver> bus);
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server&) = delete;
    Vxi11Server& operator=(const Vxi11Server&) = delete;

    // Why it could not start; empty when it runs.
    const std::string& error() const { return error_; }
    // What clients use to reach it, one line each.
    std::vector<std::string> reachWith() const;

    int corePort() const { return corePort_; }
    int abortPort() const { return abortPort_; }
    // The own portmapper's port; 0 when there is none.
    int portmapperPort() const { return portmapperPort_; }

private:
    struct Link;
    struct Connection;
    enum class Channel { Core, Abort, Portmapper };

    int listenOn(int type, int port, int& bound);
    bool openPortmapper(int port);
    void acceptLoop();
    void answerDatagram();
    void serve(Connection* connection);
    std::string handle(Connection& connection, std::string_view record, bool& close);
    std::string call(Connection& connection, const vxi11::CoreCall& c);
    void srqLoop();
    void dropLinks(Connection& connection);

    std::int32_t createLink(Connection& connection, const vxi11::CoreCall& c, std::int32_t& lid);
    std::int32_t waitForLock(const Link& link, std::uint32_t flags, std::uint32_t lockTimeout,
                             bool take);
    std::int32_t ioError(std::int32_t sta, std::int32_t err) const;

    Vxi11Options options_;
    std::unique_ptr<bus::Driver> bus_;
    std::string error_, host_;
    int coreFd_ = -1, abortFd_ = -1, pmapTcpFd_ = -1, pmapUdpFd_ = -1;
    int wake_[2] = {-1, -1};
    int corePort_ = 0, abortPort_ = 0, portmapperPort_ = 0;
    bool registered_ = false; // with the system's rpcbind
    std::vector<portmap::Mapping> mappings_;
    std::vector<int> listeners_; // primary addresses found at start
    std::atomic<bool> stopping_{false};

    std::mutex busMutex_; // one driver call at a time
    std::mutex state_;    // links, locks, connections, interrupt channels
    std::condition_variable lockFreed_;
    std::map<std::int32_t, std::shared_ptr<Link>> links_;
    std::map<int, std::int32_t> lockOwner_; // device key -> link id
    std::int32_t nextLink_ = 1;
    std::list<std::unique_ptr<Connection>> connections_;
    std::condition_variable srqWanted_;
    std::thread acceptThread_, srqThread_;
};

} // namespace serve
