#pragma once

#include "bus/Driver.h"

#include <memory>
#include <string>
#include <vector>

namespace serve {

struct Vxi11Options {
    std::string listen = "127.0.0.1"; // the address to listen on; 0.0.0.0 for every interface
    int corePort = 0;                 // the core channel's TCP port; 0: any free port
};

// A VXI-11 gateway in front of a bus: gpib0,N for each listener, inst0 for
// the lowest-addressed one.
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

private:
    std::string error_;
};

} // namespace serve
