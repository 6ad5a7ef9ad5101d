#pragma once

#include <cstdint>
#include <string>

namespace bus {

// Status bits of the driver's status word that the console relies on.
inline constexpr std::int32_t ERR = 0x8000;
inline constexpr std::int32_t TIMO = 0x4000;
inline constexpr std::int32_t END = 0x2000;
inline constexpr std::int32_t SRQI = 0x1000;
inline constexpr std::int32_t RQS = 0x0800;
inline constexpr std::int32_t CMPL = 0x0100;

// Driver error codes (iberr) that back ends produce.
inline constexpr std::int32_t EDVR = 0;
inline constexpr std::int32_t ECIC = 1;
inline constexpr std::int32_t ENOL = 2;
inline constexpr std::int32_t EADR = 3;
inline constexpr std::int32_t EARG = 4;
inline constexpr std::int32_t ESAC = 5;
inline constexpr std::int32_t EABO = 6;
inline constexpr std::int32_t ENEB = 7;
inline constexpr std::int32_t ECAP = 11;
inline constexpr std::int32_t EFSO = 12;
inline constexpr std::int32_t EBUS = 14;
inline constexpr std::int32_t ETAB = 20;

// Time-out codes, the driver's published values.
inline constexpr std::int32_t T300ms = 10;
inline constexpr std::int32_t T1s = 11;
inline constexpr std::int32_t T3s = 12;
inline constexpr std::int32_t T10s = 13;
inline constexpr std::int32_t T100s = 15;

inline constexpr std::int32_t IbaPAD = 1;
inline constexpr std::int32_t IbaTMO = 3;
inline constexpr std::uint16_t NOADDR = 0xFFFF;

using Addr4882 = std::uint16_t;

// Follows the file transfers a driver runs as one long call (ibrdf, ibwrtf):
// told of every chunk as it moves, and asked between chunks whether the
// transfer is to stop. Called on the thread that runs the transfer.
class TransferWatch {
public:
    virtual void moved(std::uint64_t bytes) = 0;
    virtual bool stopRequested() const = 0;

protected:
    ~TransferWatch() = default;
};

// One NI-488.2 driver. Every operation keeps the driver's own name and
// argument order. After each call the driver writes its status word, error
// code and counts into the four variables that the calling thread registered
// with RegisterGpibGlobalsForThread; a thread that registered nothing gets
// nothing written. The value returned by the ib* functions is the status word.
//
// Registration results: 0 registered; 1 this thread had already registered
// the same variables; 2 or 3 this thread holds another registration, which
// must be released with UnregisterGpibGlobalsForThread first; anything else
// is a failure.
//
// Implementations never throw and never block longer than the descriptor's
// time-out. The only caller is bus::Binding.
class Driver {
public:
    virtual ~Driver() = default;

    virtual std::int32_t RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                      std::int32_t* ibcnt,
                                                      std::int32_t* ibcntl) = 0;
    virtual std::int32_t UnregisterGpibGlobalsForThread() = 0;

    virtual void SendIFC(std::int32_t board) = 0;
    virtual std::int32_t ibsre(std::int32_t ud, std::int32_t v) = 0;
    // Probes the addresses of padlist (each a primary address in the low byte,
    // a secondary one in the high byte) up to NOADDR, and writes the listeners
    // found to resultlist in probe order. The board's own address, when it is
    // probed, hears its own probe: it takes a result entry like any listener
    // and counts towards the limit, though it is no device. ibcntl is the
    // number of entries written. Errors: more listeners than limit gives ETAB
    // with the first limit entries written; no listener but the board gives
    // EBUS (linux-gpib's ENOL is the same finding); an address above 30 or a
    // limit below 1 gives EARG; a board that is not there gives ENEB.
    virtual void FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                          std::int32_t limit) = 0;
    virtual std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                               std::int32_t tmo, std::int32_t eot, std::int32_t eos) = 0;
    virtual std::int32_t ibpad(std::int32_t ud, std::int32_t pad) = 0;
    virtual std::int32_t ibtmo(std::int32_t ud, std::int32_t tmo) = 0;
    virtual std::int32_t ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) = 0;
    virtual std::int32_t ibwait(std::int32_t ud, std::int32_t mask) = 0;
    virtual std::int32_t ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) = 0;
    virtual std::int32_t ibrd(std::int32_t ud, void* buf, std::int32_t cnt) = 0;
    // Serial poll: the status byte lands in spr[0].
    virtual std::int32_t ibrsp(std::int32_t ud, char* spr) = 0;
    virtual void DevClear(std::int32_t board, Addr4882 address) = 0;
    // Selected device clear of the descriptor's device: its input buffer and
    // output queue are emptied, so it stops talking and listens afresh.
    virtual std::int32_t ibclr(std::int32_t ud) = 0;
    // v = 0 takes the descriptor offline and frees it; 1 resets it.
    virtual std::int32_t ibonl(std::int32_t ud, std::int32_t v) = 0;
    virtual std::int32_t ibwrtfA(std::int32_t ud, const char* filename) = 0;
    virtual std::int32_t ibrdfA(std::int32_t ud, const char* filename) = 0;

    // Not a driver function: after a start-up call (SendIFC, FindLstn) failed
    // with iberr and ibcntl, what the operator should fix, in one or two
    // sentences; "" when the error code says it all.
    virtual std::string startupAdvice(std::int32_t /*iberr*/, std::int32_t /*ibcntl*/) {
        return {};
    }
    // A driver that moves a file in chunks reports them to `watch` and ends
    // the transfer with EABO, keeping the count so far, once it asks to stop;
    // one that cannot leaves this alone. Null stops watching.
    virtual void watchTransfers(TransferWatch* /*watch*/) {}
};

} // namespace bus
