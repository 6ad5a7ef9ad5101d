#pragma once

#include "bus/drivers/AdapterDriver.h"
#include "bus/drivers/adapter/Transport.h"
#include "bus/drivers/vxi11/OncRpc.h"
#include "bus/drivers/vxi11/SrqListener.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bus::vxi11 {

// The results of an RPC reply, inside the record that brought them.
struct RpcResults {
    std::string record;
    std::size_t at = 0;
    operator std::string_view() const { return std::string_view(record).substr(at); }
};

// VXI-11 error codes a console meets, by name.
std::string vxi11ErrorName(std::int32_t code);

// A LAN instrument or a LAN/GPIB gateway over VXI-11's core channel, with
// the abort channel for a stop and the interrupt channel for service
// requests.
//
// `vxi11:HOST[:PMAPPORT][/DEVICE]`: the portmapper (port 111 unless given)
// names the core channel's port. DEVICE inst0 (the default) or any name
// but gpibN is one instrument, at primary address 1. DEVICE gpibN is a
// gateway's GPIB interface: each address gets its own link, gpibN,PAD or
// gpibN,PAD,SAD, made on first use and kept; listeners are found by making
// a link and asking for its status byte.
//
// Every call has one deadline, as the "++" adapters have: the target's
// time-out plus kSilenceMarginMs, or kCommandMs without one. A connection
// that drops or falls silent fails the call with ENEB and is closed; the
// next call connects again (asking the portmapper afresh) and makes its
// links again.
class Vxi11Client final : public AdapterDriver {
public:
    // args: "HOST[:PMAPPORT][/DEVICE]" (an IPv6 host in brackets). Connects
    // to the core channel; null with the reason (naming the host and the
    // step) when that fails.
    static std::unique_ptr<Vxi11Client> open(const std::string& args, std::string& error);
    // The same over connections `connect` makes (a host and TCP port): for a
    // test or fuzzer that plays the server. `srq` false leaves the interrupt
    // channel out: service requests are polled for.
    using Connector = std::function<std::unique_ptr<adapter::Transport>(
        const std::string& host, int port, std::string& error)>;
    static std::unique_ptr<Vxi11Client> openWith(const std::string& args, Connector connect,
                                                 bool srq, std::string& error);
    // Returns every linked device to local and destroys the links.
    ~Vxi11Client() override;
    Vxi11Client(const Vxi11Client&) = delete;
    Vxi11Client& operator=(const Vxi11Client&) = delete;

    // "VXI-11 gpib0 on lab-gw".
    std::string description() const;
    // After ENEB: which step with which host failed, and what came back.
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override;
    // The last failure, as startupAdvice gives it.
    const std::string& lastError() const { return lastError_; }
    // Hold a lock on each linked device (device_lock), off by default.
    void setLocking(bool on);
    // Whether service requests come over the interrupt channel (or are
    // polled for).
    bool interruptChannel() const { return srqChannel_; }
    bool gateway() const { return gateway_; }

    static constexpr int kDefaultPortmapperPort = 111;
    static constexpr int kSilenceMarginMs = 1000;
    static constexpr int kCommandMs = 4000;
    // How long an address probe lets the gateway wait for a status byte.
    static constexpr int kProbeTimeoutMs = 100;
    // The longest record taken from a server, and so the most one device_read
    // asks for at once.
    static constexpr std::size_t kMaxRecord = 64u << 20;
    static constexpr std::size_t kMaxReadRequest = kMaxRecord - 4096;

private:
    Vxi11Client(std::string host, int pmapPort, std::string device, Connector connect, bool srq);

    Result interfaceClear() override;
    Result remoteEnable(bool on) override;
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;
    bool findListeners(std::array<bool, kMaxAddress + 1>& found) override;
    bool adapterLost() const override { return !core_; }

    using Clock = std::chrono::steady_clock;
    struct Link {
        std::int32_t id = 0;
        std::uint32_t maxRecvSize = 0;
        std::uint32_t abortPort = 0;
        std::string device;
        bool srqEnabled = false; // its requests come over the interrupt channel
    };
    // What one call on the core channel came to.
    enum class Outcome { Done, Lost };

    void startCall(int ms) { deadline_ = Clock::now() + std::chrono::milliseconds(ms); }
    int leftMs() const;
    bool connect();
    bool ready() { return core_ || connect(); }
    void drop();
    Result lost(const std::string& step, const std::string& what);
    // One RPC on the core channel by the deadline: the results of the reply
    // in `results`; false (the connection dropped, lastError_ set) when none
    // came. With `stoppable`, a stop sends device_abort for `abortLink`.
    bool call(const std::string& step, std::uint32_t procedure, const XdrWriter& args,
              RpcResults& results, const Link* abortLink = nullptr);
    // A call whose reply is one Device_Error; its code, or -1 when lost.
    std::int32_t simpleCall(const std::string& step, std::uint32_t procedure,
                            const XdrWriter& args);
    void sendAbort(const Link& link);
    std::string deviceFor(std::int32_t pad, std::int32_t sad) const;
    static int keyOf(std::int32_t pad, std::int32_t sad) { return pad << 8 | (sad & 0xFF); }
    // The link to the device; nullptr when no device is there (`refused`) or
    // the connection was lost (core_ null).
    const Link* linkFor(std::int32_t pad, std::int32_t sad, int ioTimeoutMs);
    std::int32_t readStb(const Link& link, int ioTimeoutMs, std::uint8_t& status);
    // A VXI-11 error code of a device call as a bus result.
    Result failure(const std::string& step, std::int32_t code, std::size_t count = 0);
    void openSrqChannel();
    // Asks the server to send the link's requests; false when it will not.
    bool enableSrq(Link& link, int key);
    std::optional<std::uint8_t>& polled(std::int32_t pad) {
        return polled_[static_cast<std::size_t>(pad)];
    }

    std::string host_;
    int pmapPort_;
    std::string device_;
    bool gateway_;
    Connector connect_;
    bool wantSrq_;

    std::unique_ptr<adapter::Transport> core_;
    std::unique_ptr<adapter::Transport> abort_;
    RecordReader records_{kMaxRecord};
    std::uint32_t xid_ = 1;
    Clock::time_point deadline_;
    std::string lastError_;
    std::map<int, Link> links_;
    std::array<std::int8_t, kMaxAddress + 1> present_{}; // 1 yes, -1 no, 0 not known
    std::array<std::optional<std::uint8_t>, kMaxAddress + 1> polled_{};
    std::unique_ptr<SrqListener> srq_;
    bool srqChannel_ = false; // create_intr_chan took our listener
    bool remote_ = false;
    bool locking_ = false;
};

} // namespace bus::vxi11
