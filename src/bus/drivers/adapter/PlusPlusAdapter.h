#pragma once

#include "bus/drivers/AdapterDriver.h"
#include "bus/drivers/adapter/Transport.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bus::adapter {

// What sets one "++" command adapter apart from another.
struct AdapterKind {
    std::string_view name;
    int defaultTcpPort;
    // Prologix adapters save every setting to their configuration memory
    // unless told not to; "++savecfg" on AR488 would save once more instead.
    bool saveConfigOff;
    // "++ren 0|1" drives remote enable; without it REN stays asserted.
    bool hasRen;
    // "++findlstn" lists the listeners without disturbing any device.
    bool hasFindListeners;
    // "++dcl" clears every device at once.
    bool hasDeviceClearAll;
    // Text the answer to "++ver" contains.
    std::string_view versionMark;
};

extern const AdapterKind kPrologix;
extern const AdapterKind kAr488;

// ESC before every CR, LF, ESC and '+', so the adapter passes each byte on
// as data instead of ending the line or reading a command.
std::string escapeData(std::string_view data);

// A Prologix GPIB-USB/GPIB-ETHERNET or AR488 in controller mode, driven
// with its "++" command lines over a serial port or TCP.
//
// The adapter never says where an answer ends, so every command that gets a
// reply, and every read, is followed by "++ver": the adapter answers it after
// the reply, and that known line marks the end. A read's data ends in the
// end-of-transmission character when the device sent END with its last byte,
// and without it when the adapter's own read time-out ended it.
//
// Every call has one deadline: its time-out plus kSilenceMarginMs, or
// kCommandMs for the calls that have no time-out of their own. A device that
// still talks at the deadline ends the read with the time-out result and what
// came so far; the rest is read and dropped before the next command (or the
// connection is dropped when that takes longer than the next call's time).
// A connection that drops, or an adapter whose own reply is not over by the
// deadline, fails the call with ENEB and is closed; the next call opens it
// again.
class PlusPlusAdapter final : public AdapterDriver {
public:
    // Opens the port or connection and identifies the adapter; null with the
    // reason (naming the port) when no such adapter answers there.
    static std::unique_ptr<PlusPlusAdapter> open(const AdapterKind& kind, const std::string& where,
                                                 std::string& error);
    // The same over pipes `connect` makes (the first now, more after a loss):
    // for a test or fuzzer that plays the adapter.
    using Connector = std::function<std::unique_ptr<Transport>(std::string& error)>;
    static std::unique_ptr<PlusPlusAdapter> openWith(const AdapterKind& kind,
                                                     const std::string& where, Connector connector,
                                                     std::string& error);
    ~PlusPlusAdapter() override;
    PlusPlusAdapter(const PlusPlusAdapter&) = delete;
    PlusPlusAdapter& operator=(const PlusPlusAdapter&) = delete;

    // "Prologix on /dev/ttyUSB0".
    std::string description() const;
    // The adapter's answer to "++ver", without its line end.
    std::string version() const;

    void setWireLog(WireLog log) override { wireLog_ = std::move(log); }
    // After ENEB from a lost adapter: which adapter stopped answering, where.
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override;

    static constexpr char kEndMark = '\x04';
    // The adapters' longest read time-out is shorter than the console's
    // longest; longer waits are made of several reads.
    static constexpr int kAdapterTimeoutMs = 3000;
    // How long an address probe waits for a serial poll answer: short enough
    // that thirty empty addresses take under two seconds.
    static constexpr int kProbeTimeoutMs = 50;
    // How long the adapter may take beyond its own time-out to end a reply.
    static constexpr int kSilenceMarginMs = 1000;
    // The deadline of a call with no time-out of its own (interface and
    // device clear, remote enable, the listener search): long enough to let a
    // read that is still coming end at the adapter's longest time-out first.
    static constexpr int kCommandMs = kAdapterTimeoutMs + kSilenceMarginMs;

private:
    PlusPlusAdapter(const AdapterKind& kind, std::string where, Connector connector);

    Result interfaceClear() override;
    Result remoteEnable(bool on) override;
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;
    bool findListeners(std::array<bool, kMaxAddress + 1>& found) override;
    bool adapterLost() const override { return !transport_; }

    using Clock = std::chrono::steady_clock;

    // A call begins: nothing it does waits past ms from now.
    void startCall(int ms) { deadline_ = Clock::now() + std::chrono::milliseconds(ms); }
    int leftMs() const;
    bool connect(std::string& error);
    // Opened and in step with the adapter, ready for a new command.
    bool ready();
    void drop();
    bool sendCommand(const std::string& line);
    bool sendBytes(const std::string& bytes);
    // Sends the command lines and "++ver", and gives back what came before
    // the version line; nullopt (and the connection dropped) when the reply
    // is not over within capMs or by the call's deadline.
    std::optional<std::string> transaction(const std::string& lines, int capMs);
    bool selectDevice(std::int32_t pad, std::int32_t sad);
    bool setAdapterTimeout(int ms);
    // Reads and drops the rest of an answer that was not read to its end.
    bool finishReading();
    // Appends what arrives to pending_: how many bytes did, -1 when the
    // connection is gone.
    long receiveMore(int waitMs);
    // Hands out what arrived of the read, but for the bytes at its end that
    // may be the start of the end mark and version line.
    std::size_t handOutSettled(char* buffer, std::size_t room);
    std::optional<std::uint8_t> poll(std::int32_t pad, std::int32_t sad, int adapterMs);
    bool probe(std::int32_t pad, std::int32_t sad);
    bool searchListeners(std::array<bool, kMaxAddress + 1>& found);
    Result lost() {
        drop();
        return Result::failed(ENEB);
    }

    const AdapterKind& kind_;
    std::string where_;
    Connector connector_;
    std::unique_ptr<Transport> transport_;
    Clock::time_point deadline_; // the end of the call in progress
    std::string versionLine_;    // with its line end: the end marker of every reply
    WireLog wireLog_;

    // What the adapter is set to now; empty or -1 when not known.
    std::string selected_;
    int adapterTimeoutMs_ = -1;
    int eoi_ = -1;

    // A read in progress: its device, and what arrived and was not handed
    // out yet, from pendingStart_ on.
    bool reading_ = false;
    std::int32_t readingPad_ = 0, readingSad_ = 0;
    std::string pending_;
    std::size_t pendingStart_ = 0;
    bool roundEnded_ = false; // pending_ holds the rest of a finished message
    bool lastRound_ = false;  // the adapter's time-out covers the console's

    std::array<std::int8_t, kMaxAddress + 1> present_{}; // 1 yes, -1 no, 0 not known
    // A status byte the wait for a service request polled, for the next ibrsp.
    std::array<std::optional<std::uint8_t>, kMaxAddress + 1> polled_{};
};

} // namespace bus::adapter
