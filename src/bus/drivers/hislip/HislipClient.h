#pragma once

#include "bus/drivers/AdapterDriver.h"
#include "bus/drivers/adapter/Transport.h"
#include "bus/drivers/hislip/Hislip.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace bus::hislip {

// A HiSLIP instrument, or a LAN/GPIB gateway that speaks HiSLIP, in
// synchronized mode. "hislip:HOST[:PORT][/SUBADDRESS]", port 4880 and
// sub-address hislip0 unless given.
//
// An instrument (hislip0, hislipN, or any sub-address but gpibN) is one
// device at primary address 1. A gateway's interface (gpibN) shows each
// device of its bus at its own address: each address gets its own session to
// "gpibN,PAD" (or "gpibN,PAD,SAD"), and an address whose session the gateway
// refuses has no listener.
//
// Each session is two connections: the synchronous one carries the messages
// (Data and DataEnd, counted by message id) and the answers; the
// asynchronous one serial polls (AsyncStatusQuery), device clears, locks,
// remote/local control and the service requests the server announces.
//
// Every call has one deadline: the time-out plus kMarginMs, or kCommandMs for
// calls with no time-out of their own. A read that hears nothing by its
// time-out asks for the status over the asynchronous channel: an answer
// means the device is slow (a time-out), silence means the server is gone
// (ENEB). A lost session fails its call with ENEB and is opened afresh by
// the next call.
class HislipClient final : public AdapterDriver {
public:
    static std::unique_ptr<HislipClient> open(const std::string& args, std::string& error);
    // The same over pipes `connect` makes (one per channel): for a test or
    // fuzzer that plays the server.
    using Connector = std::function<std::unique_ptr<adapter::Transport>(std::string& error)>;
    static std::unique_ptr<HislipClient> openWith(const std::string& args, Connector connector,
                                                  std::string& error);
    ~HislipClient() override;
    HislipClient(const HislipClient&) = delete;
    HislipClient& operator=(const HislipClient&) = delete;

    // "HiSLIP hislip0 on lab-gw".
    std::string description() const;
    // Locks each session exclusively (AsyncLock), so no other client talks
    // to the device meanwhile; off unless set. Open sessions close, and the
    // next call opens them again with the lock taken or let go.
    void setLocking(bool lock);
    // After ENEB or EBUS: which server, at which step, and what came back.
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override;

    static constexpr int kMarginMs = 1000;
    static constexpr int kCommandMs = 4000;
    // The largest message we take; the server is told so.
    static constexpr std::uint64_t kMaxMessage = 1u << 20;

private:
    struct Link;
    enum class Got { Message, Silence, Lost, Bad, Stopped };
    enum class Opened { Yes, Refused, Lost };
    using Clock = std::chrono::steady_clock;

    HislipClient(std::string host, std::string subAddress, Connector connector);

    Result interfaceClear() override;
    Result remoteEnable(bool on) override;
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;
    bool adapterLost() const override { return serverLost_; }

    void startCall(int ms) { deadline_ = Clock::now() + std::chrono::milliseconds(ms); }
    int leftMs() const;
    bool gateway() const { return gateway_; }
    std::string sessionName(std::int32_t pad, std::int32_t sad) const;
    // The session of an address, opened if need be; null with `refused` set
    // when the server has no device there.
    Link* linkFor(std::int32_t pad, std::int32_t sad, bool& refused);
    Opened openLink(Link& link);
    void drop(Link& link);
    Result lost(Link& link, const std::string& why);
    bool send(Link& link, bool async, Type type, std::uint8_t control, std::uint32_t parameter,
              std::string_view payload = {});
    Got receive(Link& link, bool async, Message& m, Clock::time_point until,
                bool stoppable = false);
    // The reply of `type` on the asynchronous channel, skipping service
    // requests (noted) on the way; nullopt when the link failed (dropped,
    // with problem_ said).
    // With dropSync, what arrives on the synchronous channel meanwhile is
    // read and dropped.
    std::optional<Message> asyncReply(Link& link, Type type, const char* step,
                                      bool dropSync = false);
    // Reads and drops the whole messages that have arrived on the
    // synchronous channel (`arrived` set when anything came); false when the
    // link failed.
    bool dropSyncInput(Link& link, bool& arrived);
    // A message on the synchronous channel that is no part of an answer.
    bool otherSyncMessage(Link& link, const Message& m, const char* step, Result& result);
    std::optional<std::uint8_t> statusQuery(Link& link, const char* step);
    enum class Cleared { Yes, Failed, Silent };
    // AsyncDeviceClear, then DeviceClearComplete, and what the synchronous
    // channel holds dropped up to DeviceClearAcknowledge (due by `until`).
    Cleared clearSequence(Link& link, Clock::time_point until);
    bool clearLink(Link& link);
    void noteAsync(Link& link, const Message& m);
    void say(const std::string& step, const std::string& what);

    std::string host_, subAddress_;
    bool gateway_ = false;
    Connector connector_;
    bool locking_ = false;
    bool serverLost_ = false;
    Clock::time_point deadline_;
    std::string problem_;
    std::map<int, std::unique_ptr<Link>> links_; // by pad | sad << 8
};

} // namespace bus::hislip
