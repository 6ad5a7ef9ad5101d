#include "HislipServer.h"

namespace serve {

HislipServer::HislipServer(HislipOptions, std::unique_ptr<bus::Driver>)
    : error_("HiSLIP is not served yet") {}

HislipServer::~HislipServer() = default;

std::vector<std::string> HislipServer::reachWith() const {
    return {};
}

} // namespace serve
