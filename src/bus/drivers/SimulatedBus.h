#pragma once

#include "bus/Driver.h"
#include "bus/drivers/ThreadGlobals.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace bus {

namespace sim {
class Instrument;
}

// A GPIB bus with simulated instruments on it, for running the console
// without hardware. The board is at address 0; instruments sit at 1 to 30.
//
// Nothing here ever waits: what would time out on a real bus (a read with
// nothing to read, a serial poll of an address nobody answers) returns
// ERR|TIMO with EABO at once, and ibwait reports the conditions that hold now.
// Every status word carries CMPL. Descriptors start at 32 and are never
// reused; 0 is the board. FindLstn reports the board's own address, when it is
// probed, as a result entry holding 0 that counts towards the limit but is
// no device: with nothing else listening the result is EBUS.
class SimulatedBus final : public Driver {
public:
    SimulatedBus();
    ~SimulatedBus() override;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // A multimeter at 5, an older function generator at 9 and an oscilloscope
    // at 22.
    static std::unique_ptr<SimulatedBus> defaultBench();

    // Puts an instrument at an address from 1 to 30, replacing any there;
    // other addresses are ignored.
    void attach(int address, std::unique_ptr<sim::Instrument> instrument);
    // Switches the device off: later traffic finds no listener.
    void detach(int address);
    // The instrument at the address, or nullptr.
    sim::Instrument* instrument(int address);

    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                              std::int32_t* ibcnt, std::int32_t* ibcntl) override;
    std::int32_t UnregisterGpibGlobalsForThread() override;

    void SendIFC(std::int32_t board) override;
    std::int32_t ibsre(std::int32_t ud, std::int32_t v) override;
    void FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                  std::int32_t limit) override;
    std::int32_t ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad, std::int32_t tmo,
                       std::int32_t eot, std::int32_t eos) override;
    std::int32_t ibpad(std::int32_t ud, std::int32_t pad) override;
    std::int32_t ibtmo(std::int32_t ud, std::int32_t tmo) override;
    std::int32_t ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) override;
    std::int32_t ibwait(std::int32_t ud, std::int32_t mask) override;
    std::int32_t ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) override;
    std::int32_t ibrd(std::int32_t ud, void* buf, std::int32_t cnt) override;
    std::int32_t ibrsp(std::int32_t ud, char* spr) override;
    void DevClear(std::int32_t board, Addr4882 address) override;
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) override;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) override;

    static constexpr std::int32_t kFirstDescriptor = 32;
    static constexpr int kMaxAddress = 30;

private:
    struct Device {
        std::int32_t pad;
        std::int32_t sad;
        std::int32_t tmo;
        bool eot;
        std::int32_t eos;
    };

    Device* device(std::int32_t ud);
    sim::Instrument* listenerAt(std::int32_t pad);
    std::int32_t done(std::int32_t status, std::int32_t count = 0);
    std::int32_t fail(std::int32_t error, std::int32_t count = 0);
    std::int32_t timedOut(std::int32_t count = 0);
    char* fileChunk();

    ThreadGlobals globals_;
    std::array<std::unique_ptr<sim::Instrument>, kMaxAddress + 1> instruments_;
    std::vector<Device> devices_;
    std::int32_t boardTmo_ = T10s;
    std::unique_ptr<char[]> fileChunk_;
};

} // namespace bus
