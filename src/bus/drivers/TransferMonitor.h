#pragma once

#include "bus/Driver.h"
#include "bus/drivers/ThreadGlobals.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace bus {

// Sits between the binding and the back end while the console moves data:
// counts the bytes that reads, writes and file transfers move, so the window
// can show how far a long transfer got, and ends a transfer the operator
// stops. Once a stop is asked for, the next read or file transfer, and a
// file transfer already running (at its next chunk, where the back end
// reports chunks), ends with ERR and EABO without reaching the bus. Writes
// always go out whole: a message is one call and is never cut.
//
// A device stopped in the middle of its answer would go on talking, and the
// rest of that answer would come back as the answer to the next query; a
// file stopped part-way would leave the device waiting for the rest. So every
// call a stop ends is followed by a device clear (ibclr) of its descriptor,
// before anything else reaches the bus; the caller still sees the stopped
// call's own status.
//
// Counting and stopping are safe from any thread; the driver calls come from
// the one thread that runs the bus work.
class TransferMonitor final : public Driver, public TransferWatch {
public:
    explicit TransferMonitor(Driver& inner);
    ~TransferMonitor() override;
    TransferMonitor(const TransferMonitor&) = delete;
    TransferMonitor& operator=(const TransferMonitor&) = delete;

    // A new operation: nothing moved, no stop asked for (a stopAfter still
    // waiting stays armed).
    void reset();
    void requestStop() { stop_.store(true, std::memory_order_release); }
    bool stopRequested() const override { return stop_.load(std::memory_order_acquire); }
    // Asks for the stop itself, once, when an operation has moved this many
    // bytes, as an operator would part-way through (the tests' way to stop).
    void stopAfter(std::uint64_t bytes) { stopAt_.store(bytes, std::memory_order_release); }
    std::uint64_t bytes() const { return bytes_.load(std::memory_order_acquire); }

    void moved(std::uint64_t bytes) override;

    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                              std::int32_t* ibcnt, std::int32_t* ibcntl) override;
    std::int32_t UnregisterGpibGlobalsForThread() override;
    void SendIFC(std::int32_t board) override { inner_.SendIFC(board); }
    std::int32_t ibsre(std::int32_t ud, std::int32_t v) override { return inner_.ibsre(ud, v); }
    void FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                  std::int32_t limit) override {
        inner_.FindLstn(board, padlist, resultlist, limit);
    }
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override {
        return inner_.ibdev(board, pad, sad, tmo, eot, eos);
    }
    std::int32_t ibpad(std::int32_t ud, std::int32_t pad) override { return inner_.ibpad(ud, pad); }
    std::int32_t ibtmo(std::int32_t ud, std::int32_t tmo) override { return inner_.ibtmo(ud, tmo); }
    std::int32_t ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) override {
        return inner_.ibask(ud, option, value);
    }
    std::int32_t ibwait(std::int32_t ud, std::int32_t mask) override {
        return inner_.ibwait(ud, mask);
    }
    std::int32_t ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) override;
    std::int32_t ibrd(std::int32_t ud, void* buf, std::int32_t cnt) override;
    std::int32_t ibrsp(std::int32_t ud, char* spr) override { return inner_.ibrsp(ud, spr); }
    void DevClear(std::int32_t board, Addr4882 address) override {
        inner_.DevClear(board, address);
    }
    std::int32_t ibclr(std::int32_t ud) override { return inner_.ibclr(ud); }
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override { return inner_.ibonl(ud, v); }
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) override;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) override;
    void watchTransfers(TransferWatch*) override {}
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override {
        return inner_.startupAdvice(iberr, ibcntl);
    }

private:
    // Answers the call in place of the bus when a stop was asked for.
    bool abort(std::int32_t& status);
    // Clears the device a stop cut off, keeping the stopped call's status.
    std::int32_t quieten(std::int32_t ud);
    void count(std::uint64_t bytes);

    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

    Driver& inner_;
    // Which variables each thread registered, to answer the calls that are
    // stopped before the back end sees them.
    ThreadGlobals registered_;
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> stopAt_{kNever};
    std::atomic<bool> stop_{false};
};

} // namespace bus
