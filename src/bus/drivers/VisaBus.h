#pragma once

#include "bus/drivers/AdapterDriver.h"
#include "bus/drivers/SharedLibrary.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bus {

class VisaBus;

struct VisaLoadResult {
    std::unique_ptr<VisaBus> driver; // null exactly when error is set
    std::string error;               // names the library or the missing function, and why
};

// The GPIB bus through the system's VISA library, loaded at run time: on
// Windows visa64.dll (visa32.dll in a 32-bit build) from the system folder,
// elsewhere libvisa.so, libvisa.so.0 or R&S's librsvisa.so. The instruments
// are the VISA resources under one prefix: GPIB0 (GPIB0::5::INSTR) or a
// LAN/GPIB gateway's TCPIP0::host::gpib0 (TCPIP0::host::gpib0,5::INSTR).
//
// Listeners are found with viFindRsrc, each address gets its own session
// (viOpen), and every call runs under the descriptor's time-out
// (VI_ATTR_TMO_VALUE, the time-out of viOpen and of viWaitOnEvent). A VISA
// status this back end does not know becomes EDVR, and startupAdvice names it.
class VisaBus final : public AdapterDriver {
public:
    static VisaLoadResult load(const std::string& prefix);
    // An explicit file, used the same way as the system library.
    static VisaLoadResult load(const std::string& prefix, const std::string& path);

    ~VisaBus() override;
    VisaBus(const VisaBus&) = delete;
    VisaBus& operator=(const VisaBus&) = delete;

    std::string libraryName() const { return library_->name(); }
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override;

    struct Api; // the library's entry points

private:
    VisaBus(std::unique_ptr<SharedLibrary> library, std::unique_ptr<const Api> api,
            std::string prefix);
    static VisaLoadResult bind(SharedLibraryOpenResult opened, const std::string& prefix);

    Result interfaceClear() override;
    Result remoteEnable(bool on) override;
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;

    struct Session {
        std::uint32_t vi = 0;
        std::int32_t tmo = -1; // the time-out code VISA holds
        int end = -1;          // whether VISA sends END with a write's last byte
        bool eventsOn = false;
        bool requesting = false; // a service request caught and not yet polled
    };
    // What a VISA status comes to, with the count moved.
    Result outcome(std::int32_t status, std::size_t count = 0, bool end = false);
    std::int32_t openManager();
    // The address's session under the target's time-out, or the failure.
    Session* session(const Target& target, Result& failure);
    std::string resource(std::int32_t pad, std::int32_t sad) const;
    bool awaitRequest(Session& s, std::uint32_t milliseconds);

    std::unique_ptr<SharedLibrary> library_;
    std::unique_ptr<const Api> api_;
    std::string prefix_;
    bool gpibInterface_; // GPIBn: has an INTFC resource for IFC and REN
    std::uint32_t manager_ = 0;
    std::uint32_t interface_ = 0;
    std::map<std::int32_t, Session> sessions_; // by pad + 256 * sad
    std::vector<std::int32_t> found_;          // the last viFindRsrc's addresses
    std::int32_t lastProbe_ = 1000;
    std::int32_t unknownStatus_ = 0; // the last status this back end did not know
};

} // namespace bus
