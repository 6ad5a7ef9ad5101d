#include "bus/drivers/VisaBus.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <utility>

// VISA's _VI_FUNC: the Windows API convention in 32-bit Windows; x86-64 and
// Linux have a single convention.
#if defined(_WIN32) && !defined(_WIN64)
#define VIREON_VISA_CALL __stdcall
#else
#define VIREON_VISA_CALL
#endif

namespace bus {

namespace {

using ViStatus = std::int32_t;
using ViUInt32 = std::uint32_t;
using ViSession = ViUInt32;
// 64 bits where the platform's pointers are (VISA 5 and later).
using ViAttrState = std::uintptr_t;

constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViStatus VI_ERROR_SYSTEM_ERROR = static_cast<ViStatus>(0xBFFF0000u);
constexpr ViStatus VI_ERROR_INV_OBJECT = static_cast<ViStatus>(0xBFFF000Eu);
constexpr ViStatus VI_ERROR_RSRC_LOCKED = static_cast<ViStatus>(0xBFFF000Fu);
constexpr ViStatus VI_ERROR_RSRC_NFOUND = static_cast<ViStatus>(0xBFFF0011u);
constexpr ViStatus VI_ERROR_INV_RSRC_NAME = static_cast<ViStatus>(0xBFFF0012u);
constexpr ViStatus VI_ERROR_TMO = static_cast<ViStatus>(0xBFFF0015u);
constexpr ViStatus VI_ERROR_ABORT = static_cast<ViStatus>(0xBFFF0030u);
constexpr ViStatus VI_ERROR_INV_SETUP = static_cast<ViStatus>(0xBFFF003Au);
constexpr ViStatus VI_ERROR_ALLOC = static_cast<ViStatus>(0xBFFF003Cu);
constexpr ViStatus VI_ERROR_IO = static_cast<ViStatus>(0xBFFF003Eu);
constexpr ViStatus VI_ERROR_NLISTENERS = static_cast<ViStatus>(0xBFFF005Fu);
constexpr ViStatus VI_ERROR_NCIC = static_cast<ViStatus>(0xBFFF0060u);
constexpr ViStatus VI_ERROR_NSYS_CNTLR = static_cast<ViStatus>(0xBFFF0061u);
constexpr ViStatus VI_ERROR_NSUP_OPER = static_cast<ViStatus>(0xBFFF0067u);
constexpr ViStatus VI_ERROR_INV_PARAMETER = static_cast<ViStatus>(0xBFFF0078u);
constexpr ViStatus VI_ERROR_NIMPL_OPER = static_cast<ViStatus>(0xBFFF0081u);
constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = static_cast<ViStatus>(0xBFFF009Eu);
constexpr ViStatus VI_ERROR_INTF_NUM_NCONFIG = static_cast<ViStatus>(0xBFFF00A5u);
constexpr ViStatus VI_ERROR_CONN_LOST = static_cast<ViStatus>(0xBFFF00A6u);
constexpr ViStatus VI_ERROR_MACHINE_NAVAIL = static_cast<ViStatus>(0xBFFF00A7u);
constexpr ViStatus VI_ERROR_NPERMISSION = static_cast<ViStatus>(0xBFFF00A8u);
constexpr ViUInt32 VI_ATTR_SEND_END_EN = 0x3FFF0016;
constexpr ViUInt32 VI_ATTR_TMO_VALUE = 0x3FFF001A;
constexpr ViUInt32 VI_ATTR_TERMCHAR_EN = 0x3FFF0038;
constexpr ViUInt32 VI_EVENT_SERVICE_REQ = 0x3FFF200B;
constexpr ViUInt32 VI_QUEUE = 1;
constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;
constexpr ViUInt32 VI_GPIB_REN_DEASSERT = 0, VI_GPIB_REN_ASSERT = 1;
constexpr std::size_t VI_FIND_BUFLEN = 256;

// The NI-488.2 time-out codes in milliseconds (code 0: none).
ViUInt32 milliseconds(std::int32_t code) {
    static constexpr ViUInt32 table[] = {
        VI_TMO_INFINITE, 1,     1,      1,      1,      1, 3, 10, 30, 100, 300, 1000, 3000,
        10000,           30000, 100000, 300000, 1000000};
    return code >= 0 && code <= 17 ? table[code] : 1000;
}

std::string hex(ViStatus status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

} // namespace

struct VisaBus::Api {
    ViStatus(VIREON_VISA_CALL* viOpenDefaultRM)(ViSession* rm);
    ViStatus(VIREON_VISA_CALL* viFindRsrc)(ViSession rm, const char* expr, ViUInt32* list,
                                           ViUInt32* count, char* desc);
    ViStatus(VIREON_VISA_CALL* viFindNext)(ViUInt32 list, char* desc);
    ViStatus(VIREON_VISA_CALL* viOpen)(ViSession rm, const char* name, ViUInt32 mode,
                                       ViUInt32 timeout, ViSession* vi);
    ViStatus(VIREON_VISA_CALL* viClose)(ViUInt32 object);
    ViStatus(VIREON_VISA_CALL* viSetAttribute)(ViUInt32 object, ViUInt32 attribute,
                                               ViAttrState value);
    ViStatus(VIREON_VISA_CALL* viWrite)(ViSession vi, const void* buf, ViUInt32 count,
                                        ViUInt32* written);
    ViStatus(VIREON_VISA_CALL* viRead)(ViSession vi, void* buf, ViUInt32 count, ViUInt32* read);
    ViStatus(VIREON_VISA_CALL* viReadSTB)(ViSession vi, std::uint16_t* status);
    ViStatus(VIREON_VISA_CALL* viClear)(ViSession vi);
    ViStatus(VIREON_VISA_CALL* viEnableEvent)(ViSession vi, ViUInt32 type, ViUInt32 mechanism,
                                              ViUInt32 context);
    ViStatus(VIREON_VISA_CALL* viWaitOnEvent)(ViSession vi, ViUInt32 type, ViUInt32 timeout,
                                              ViUInt32* outType, ViUInt32* outContext);
    ViStatus(VIREON_VISA_CALL* viGpibSendIFC)(ViSession vi);
    ViStatus(VIREON_VISA_CALL* viGpibControlREN)(ViSession vi, std::uint16_t mode);
};

VisaLoadResult VisaBus::load(const std::string& prefix) {
#ifdef _WIN32
    return bind(SharedLibrary::openSystem(sizeof(void*) == 8 ? "visa64.dll" : "visa32.dll"),
                prefix);
#else
    std::string tried;
    for (const char* name : {"libvisa.so", "libvisa.so.0", "librsvisa.so"}) {
        SharedLibraryOpenResult opened = SharedLibrary::openSystem(name);
        if (opened.library) return bind(std::move(opened), prefix);
        tried += (tried.empty() ? "" : "; ") + opened.error;
    }
    return {nullptr, tried};
#endif
}

VisaLoadResult VisaBus::load(const std::string& prefix, const std::string& path) {
    return bind(SharedLibrary::open(path), prefix);
}

VisaLoadResult VisaBus::bind(SharedLibraryOpenResult opened, const std::string& prefix) {
    if (!opened.library) return {nullptr, std::move(opened.error)};
    // Every entry point the back end calls.
    static constexpr EntryPoint<Api> entryPoints[] = {
        {"viOpenDefaultRM", &setEntry<&Api::viOpenDefaultRM>},
        {"viFindRsrc", &setEntry<&Api::viFindRsrc>},
        {"viFindNext", &setEntry<&Api::viFindNext>},
        {"viOpen", &setEntry<&Api::viOpen>},
        {"viClose", &setEntry<&Api::viClose>},
        {"viSetAttribute", &setEntry<&Api::viSetAttribute>},
        {"viWrite", &setEntry<&Api::viWrite>},
        {"viRead", &setEntry<&Api::viRead>},
        {"viReadSTB", &setEntry<&Api::viReadSTB>},
        {"viClear", &setEntry<&Api::viClear>},
        {"viEnableEvent", &setEntry<&Api::viEnableEvent>},
        {"viWaitOnEvent", &setEntry<&Api::viWaitOnEvent>},
        {"viGpibSendIFC", &setEntry<&Api::viGpibSendIFC>},
        {"viGpibControlREN", &setEntry<&Api::viGpibControlREN>},
    };
    auto api = std::make_unique<Api>();
    if (std::string missing = bindEntryPoints<Api>(*opened.library, *api, entryPoints);
        !missing.empty())
        return {nullptr, missing};
    return {std::unique_ptr<VisaBus>(new VisaBus(std::move(opened.library), std::move(api),
                                                 prefix.empty() ? "GPIB0" : prefix)),
            {}};
}

VisaBus::VisaBus(std::unique_ptr<SharedLibrary> library, std::unique_ptr<const Api> api,
                 std::string prefix)
    : library_(std::move(library)), api_(std::move(api)), prefix_(std::move(prefix)),
      gpibInterface_(prefix_.size() > 4 && prefix_.compare(0, 4, "GPIB") == 0 &&
                     prefix_.find("::") == std::string::npos) {}

VisaBus::~VisaBus() {
    // Closing the manager closes every session opened through it.
    if (manager_ != 0) api_->viClose(manager_);
}

std::string VisaBus::startupAdvice(std::int32_t iberr, std::int32_t) {
    if (iberr == EDVR && unknownStatus_ != 0)
        return "The VISA library returned status " + hex(unknownStatus_) +
               ", which this program does not know; look it up in the library's manual.";
    if (iberr == ENEB)
        return "VISA finds no interface " + prefix_ +
               ": check the interface in the VISA library's configuration utility, or name "
               "another one with --driver visa:PREFIX.";
    return {};
}

AdapterDriver::Result VisaBus::outcome(std::int32_t status, std::size_t count, bool end) {
    if (status >= VI_SUCCESS) return Result::ok(count, end);
    switch (status) {
    case VI_ERROR_TMO:
        return Result::timeout(count);
    case VI_ERROR_NLISTENERS:
        return Result::failed(ENOL, count);
    case VI_ERROR_NCIC:
        return Result::failed(ECIC, count);
    case VI_ERROR_NSYS_CNTLR:
        return Result::failed(ESAC, count);
    case VI_ERROR_ABORT:
        return Result::failed(EABO, count);
    case VI_ERROR_IO:
        return Result::failed(EBUS, count);
    case VI_ERROR_NSUP_OPER:
    case VI_ERROR_NIMPL_OPER:
        return Result::failed(ECAP, count);
    case VI_ERROR_RSRC_NFOUND:
    case VI_ERROR_INV_RSRC_NAME:
    case VI_ERROR_INTF_NUM_NCONFIG:
    case VI_ERROR_MACHINE_NAVAIL:
        return Result::failed(ENEB, count);
    case VI_ERROR_INV_OBJECT:
    case VI_ERROR_INV_SETUP:
    case VI_ERROR_INV_PARAMETER:
        return Result::failed(EARG, count);
    case VI_ERROR_SYSTEM_ERROR:
    case VI_ERROR_RSRC_LOCKED:
    case VI_ERROR_ALLOC:
    case VI_ERROR_LIBRARY_NFOUND:
    case VI_ERROR_CONN_LOST:
    case VI_ERROR_NPERMISSION:
        return Result::failed(EDVR, count);
    default:
        unknownStatus_ = status;
        return Result::failed(EDVR, count);
    }
}

std::int32_t VisaBus::openManager() {
    if (manager_ != 0) return VI_SUCCESS;
    ViSession rm = 0;
    const ViStatus status = api_->viOpenDefaultRM(&rm);
    if (status >= VI_SUCCESS) manager_ = rm;
    return status;
}

std::string VisaBus::resource(std::int32_t pad, std::int32_t sad) const {
    // VISA counts secondary addresses from 0; NI-488.2 from 0x60.
    const std::string secondary = sad >= 0x60 ? std::to_string(sad - 0x60) : "";
    if (gpibInterface_)
        return prefix_ + "::" + std::to_string(pad) + (secondary.empty() ? "" : "::" + secondary) +
               "::INSTR";
    return prefix_ + "," + std::to_string(pad) + (secondary.empty() ? "" : "," + secondary) +
           "::INSTR";
}

VisaBus::Session* VisaBus::session(const Target& target, Result& failure) {
    ViStatus status = openManager();
    if (status < VI_SUCCESS) return failure = outcome(status), nullptr;
    Session& s = sessions_[target.pad + 256 * target.sad];
    if (s.vi == 0) {
        ViSession vi = 0;
        status = api_->viOpen(manager_, resource(target.pad, target.sad).c_str(), 0,
                              milliseconds(target.tmo), &vi);
        if (status < VI_SUCCESS) return failure = outcome(status), nullptr;
        s.vi = vi;
        // Messages end with EOI, never at a byte of their own.
        api_->viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 0);
    }
    if (s.tmo != target.tmo) {
        status = api_->viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, milliseconds(target.tmo));
        if (status < VI_SUCCESS) return failure = outcome(status), nullptr;
        s.tmo = target.tmo;
    }
    return &s;
}

AdapterDriver::Result VisaBus::interfaceClear() {
    ViStatus status = openManager();
    if (status < VI_SUCCESS || !gpibInterface_) return outcome(status);
    if (interface_ == 0) {
        ViSession vi = 0;
        status = api_->viOpen(manager_, (prefix_ + "::INTFC").c_str(), 0, 1000, &vi);
        if (status < VI_SUCCESS) return outcome(status);
        interface_ = vi;
        api_->viSetAttribute(vi, VI_ATTR_TMO_VALUE, 1000);
    }
    return outcome(api_->viGpibSendIFC(interface_));
}

AdapterDriver::Result VisaBus::remoteEnable(bool on) {
    // A gateway keeps remote enable to itself.
    if (interface_ == 0) return Result::ok();
    return outcome(
        api_->viGpibControlREN(interface_, on ? VI_GPIB_REN_ASSERT : VI_GPIB_REN_DEASSERT));
}

bool VisaBus::listening(std::int32_t pad, std::int32_t sad) {
    // One search per pass over the addresses: a pass starts again at a lower
    // address than the last one asked.
    if (pad <= lastProbe_) {
        found_.clear();
        if (openManager() < VI_SUCCESS) return false;
        const std::string pattern = prefix_ + (gpibInterface_ ? "::?*INSTR" : ",?*INSTR");
        char name[VI_FIND_BUFLEN] = {};
        ViUInt32 list = 0, count = 0;
        if (api_->viFindRsrc(manager_, pattern.c_str(), &list, &count, name) >= VI_SUCCESS) {
            const std::string head = prefix_ + (gpibInterface_ ? "::" : ",");
            for (ViUInt32 i = 0; i < count; ++i) {
                const std::string text(name);
                int address = -1, secondary = 0;
                if (text.compare(0, head.size(), head) == 0 &&
                    std::sscanf(text.c_str() + head.size(), "%d%*[:,]%d", &address, &secondary) >=
                        1)
                    found_.push_back(address + 256 * (secondary > 0 ? secondary + 0x60 : 0));
                if (i + 1 < count && api_->viFindNext(list, name) < VI_SUCCESS) break;
            }
            api_->viClose(list);
        }
    }
    lastProbe_ = pad;
    return std::find(found_.begin(), found_.end(), pad + 256 * sad) != found_.end();
}

AdapterDriver::Result VisaBus::write(const Target& target, const char* data, std::size_t size,
                                     bool end) {
    Result failure;
    Session* s = session(target, failure);
    if (s == nullptr) return failure;
    if (s->end != static_cast<int>(end)) {
        const ViStatus status = api_->viSetAttribute(s->vi, VI_ATTR_SEND_END_EN, end ? 1 : 0);
        if (status < VI_SUCCESS) return outcome(status);
        s->end = end;
    }
    ViUInt32 written = 0;
    const ViStatus status = api_->viWrite(s->vi, data, static_cast<ViUInt32>(size), &written);
    return outcome(status, written);
}

AdapterDriver::Result VisaBus::read(const Target& target, char* buffer, std::size_t size) {
    Result failure;
    Session* s = session(target, failure);
    if (s == nullptr) return failure;
    ViUInt32 received = 0;
    const ViStatus status = api_->viRead(s->vi, buffer, static_cast<ViUInt32>(size), &received);
    // Anything but a full buffer ends the message at its END.
    return outcome(status, received, status >= VI_SUCCESS && status != VI_SUCCESS_MAX_CNT);
}

AdapterDriver::Result VisaBus::serialPoll(const Target& target, std::uint8_t& statusByte) {
    Result failure;
    Session* s = session(target, failure);
    if (s == nullptr) return failure;
    std::uint16_t stb = 0;
    const ViStatus status = api_->viReadSTB(s->vi, &stb);
    if (status >= VI_SUCCESS) {
        statusByte = static_cast<std::uint8_t>(stb);
        // The poll answered the request: its queued event is no longer news.
        if (s->eventsOn) awaitRequest(*s, 0);
        s->requesting = false;
    }
    return outcome(status);
}

AdapterDriver::Result VisaBus::clear(std::int32_t pad, std::int32_t sad) {
    if (pad == NOADDR) {
        Result last = Result::ok();
        for (auto& [key, s] : sessions_)
            if (s.vi != 0) last = outcome(api_->viClear(s.vi));
        return last;
    }
    Result failure;
    Session* s = session(Target{pad, sad}, failure);
    if (s == nullptr) return failure;
    return outcome(api_->viClear(s->vi));
}

bool VisaBus::awaitRequest(Session& s, std::uint32_t milliseconds) {
    if (!s.eventsOn) {
        if (api_->viEnableEvent(s.vi, VI_EVENT_SERVICE_REQ, VI_QUEUE, 0) < VI_SUCCESS) return false;
        s.eventsOn = true;
    }
    ViUInt32 type = 0, context = 0;
    if (api_->viWaitOnEvent(s.vi, VI_EVENT_SERVICE_REQ, milliseconds, &type, &context) < VI_SUCCESS)
        return s.requesting;
    if (context != 0) api_->viClose(context);
    return s.requesting = true;
}

bool VisaBus::serviceRequest(const Target* target, bool wait) {
    if (target == nullptr) {
        // The board: any device whose session has a request waiting.
        bool any = false;
        for (auto& [key, s] : sessions_)
            any = (s.vi != 0 && awaitRequest(s, 0)) || any;
        return any;
    }
    Result failure;
    Session* s = session(*target, failure);
    if (s == nullptr) return false;
    const ViUInt32 limit = milliseconds(target->tmo);
    return awaitRequest(*s, wait ? limit : 0);
}

} // namespace bus
