#pragma once

#include "bus/Driver.h"

#include <memory>
#include <string>
#include <vector>

namespace serve {

struct HislipOptions {
    std::string listen = "127.0.0.1"; // the address to listen on; 0.0.0.0 for every interface
    int port = 0;                     // the TCP port (4880 is the standard one); 0: any free port
};

// A HiSLIP instrument in front of a bus: hislip0 for the lowest-addressed
// listener, hislipN for the listener at N.
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

private:
    std::string error_;
};

} // namespace serve
