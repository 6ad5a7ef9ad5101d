#pragma once

#include "bus/Driver.h"
#include "bus/drivers/ThreadGlobals.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

// Milliseconds of a time-out code (T10us to T1000s); TNONE waits 1000 s.
int timeoutMs(std::int32_t code);
// What is left until the deadline, 0 once it has passed.
int remainingMs(std::chrono::steady_clock::time_point deadline);
// Bytes a peer sent, safe to show in a message: printable ASCII as it is,
// anything else as \xNN, cut after 80 bytes.
std::string shownBytes(std::string_view bytes);

// The driver for a bus that has no NI-488.2 library behind it: a simulated
// bench, a serial or network GPIB adapter. This base keeps what every such
// back end would otherwise copy: the per-thread status variables, the
// descriptor table with its settings, FindLstn by probing each address, and
// the file calls over plain writes and reads. A back end supplies only the
// primitives below; every one of them returns without throwing and waits at
// most the target's time-out.
//
// Every status word carries CMPL: a call returns when its work is done.
// Descriptors start at 32 and are never reused; 0 is the board, whose own
// address is 0.
class AdapterDriver : public Driver {
public:
    ~AdapterDriver() override;

    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                              std::int32_t* ibcnt, std::int32_t* ibcntl) final;
    std::int32_t UnregisterGpibGlobalsForThread() final;
    void SendIFC(std::int32_t board) final;
    std::int32_t ibsre(std::int32_t ud, std::int32_t v) final;
    void FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                  std::int32_t limit) final;
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) final;
    std::int32_t ibpad(std::int32_t ud, std::int32_t pad) final;
    std::int32_t ibtmo(std::int32_t ud, std::int32_t tmo) final;
    std::int32_t ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) final;
    std::int32_t ibwait(std::int32_t ud, std::int32_t mask) final;
    std::int32_t ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) final;
    std::int32_t ibrd(std::int32_t ud, void* buf, std::int32_t cnt) final;
    std::int32_t ibrsp(std::int32_t ud, char* spr) final;
    void DevClear(std::int32_t board, Addr4882 address) final;
    std::int32_t ibclr(std::int32_t ud) final;
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) final;
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) final;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) final;
    void watchTransfers(TransferWatch* watch) final { watch_ = watch; }

    // Hears the lines a back end exchanges with an adapter of its own (its
    // command lines, sent = true, and the adapter's replies), for the I/O
    // trace. Back ends without such an adapter never call it.
    using WireLog = std::function<void(bool sent, std::string_view line)>;
    virtual void setWireLog(WireLog log) { (void)log; }

    static constexpr std::int32_t kFirstDescriptor = 32;
    static constexpr int kMaxAddress = 30;

protected:
    AdapterDriver();

    // The device a descriptor addresses, as the console set it up.
    struct Target {
        std::int32_t pad = 0;
        std::int32_t sad = 0;
        std::int32_t tmo = T1s; // time-out code
        bool eot = true;        // END with the last byte of a write
        std::int32_t eos = 0;
    };

    // What one primitive came to.
    struct Result {
        std::int32_t error = -1; // a driver error code, or -1 for none
        bool timedOut = false;
        bool end = false; // a read ended with the message's last byte
        std::size_t count = 0;

        static Result ok(std::size_t count = 0, bool end = false) {
            return {-1, false, end, count};
        }
        static Result failed(std::int32_t error, std::size_t count = 0) {
            return {error, false, false, count};
        }
        static Result timeout(std::size_t count = 0) { return {EABO, true, false, count}; }
    };

    virtual Result interfaceClear() = 0;
    virtual Result remoteEnable(bool on) = 0;
    // Whether a device listens at the address.
    virtual bool listening(std::int32_t pad, std::int32_t sad) = 0;
    virtual Result write(const Target& target, const char* data, std::size_t size, bool end) = 0;
    // Reads at most `size` bytes; `end` in the result when the message ended.
    virtual Result read(const Target& target, char* buffer, std::size_t size) = 0;
    virtual Result serialPoll(const Target& target, std::uint8_t& statusByte) = 0;
    // A device clear of one address, or of every device when pad is NOADDR.
    virtual Result clear(std::int32_t pad, std::int32_t sad) = 0;
    // Whether the device (or, with no target, any device) requests service.
    // With `wait`, waits for it at most the target's time-out.
    virtual bool serviceRequest(const Target* target, bool wait) = 0;
    // A back end that can find every listener at once (an adapter's own
    // listener search) fills `found` by primary address and says true;
    // FindLstn then asks `listening` only for secondary addresses.
    virtual bool findListeners(std::array<bool, kMaxAddress + 1>& found) {
        (void)found;
        return false;
    }

    // Whoever follows the transfers asks the one running now to stop.
    bool stopRequested() const { return watch_ != nullptr && watch_->stopRequested(); }
    // A file is being received under a watch: a read that waits for a slow
    // talker looks for a stop while it waits, and ends with EABO and its
    // count when one comes.
    bool stopWatched() const { return receivingFile_ && watch_ != nullptr; }
    // The back end lost the adapter that stands for the board (it stopped
    // answering and could not be opened again): FindLstn ends with ENEB at
    // once instead of asking it about every address.
    virtual bool adapterLost() const { return false; }

private:
    struct Descriptor {
        Target target;
        bool online = true;
    };

    Descriptor* descriptor(std::int32_t ud);
    std::int32_t done(std::int32_t status, std::size_t count = 0);
    std::int32_t finish(const Result& result, std::int32_t status = 0);
    std::int32_t fail(std::int32_t error, std::size_t count = 0);

    ThreadGlobals globals_;
    std::vector<Descriptor> descriptors_;
    std::int32_t boardTmo_ = T10s;
    std::unique_ptr<char[]> fileChunk_;
    TransferWatch* watch_ = nullptr;
    bool receivingFile_ = false;
};

} // namespace bus
