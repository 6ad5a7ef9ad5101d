#include "Vxi11Server.h"

namespace serve {

Vxi11Server::Vxi11Server(Vxi11Options, std::unique_ptr<bus::Driver>)
    : error_("VXI-11 is not served yet") {}

Vxi11Server::~Vxi11Server() = default;

std::vector<std::string> Vxi11Server::reachWith() const {
    return {};
}

} // namespace serve
