#include "bus/drivers/SimulatedBus.h"

#include "bus/sim/Instrument.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>

namespace bus {

namespace {

constexpr std::int32_t kIbaPAD = 0x1;
constexpr std::int32_t kIbaSAD = 0x2;
constexpr std::int32_t kIbaEOT = 0x4;
constexpr std::int32_t kMaxTmo = 17; // T1000s
constexpr std::size_t kFileChunk = 64 * 1024;

// Closes the file when a transfer ends, however it ends.
struct File {
    std::FILE* handle;
    explicit File(std::FILE* f) : handle(f) {}
    ~File() {
        if (handle != nullptr) std::fclose(handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
};

std::int32_t clampCount(std::uint64_t count) {
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

bool validSecondary(std::int32_t sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}

} // namespace

SimulatedBus::SimulatedBus() = default;
SimulatedBus::~SimulatedBus() = default;

std::unique_ptr<SimulatedBus> SimulatedBus::defaultBench() {
    auto bus = std::make_unique<SimulatedBus>();
    bus->attach(5, sim::makeMultimeter());
    bus->attach(9, sim::makeLegacyInstrument());
    bus->attach(22, sim::makeOscilloscope());
    return bus;
}

void SimulatedBus::attach(int address, std::unique_ptr<sim::Instrument> instrument) {
    if (address < 1 || address > kMaxAddress) return;
    instruments_[static_cast<std::size_t>(address)] = std::move(instrument);
}

void SimulatedBus::detach(int address) {
    if (address < 1 || address > kMaxAddress) return;
    instruments_[static_cast<std::size_t>(address)].reset();
}

sim::Instrument* SimulatedBus::instrument(int address) {
    if (address < 1 || address > kMaxAddress) return nullptr;
    return instruments_[static_cast<std::size_t>(address)].get();
}

sim::Instrument* SimulatedBus::listenerAt(std::int32_t pad) {
    return instrument(pad);
}

SimulatedBus::Device* SimulatedBus::device(std::int32_t ud) {
    if (ud < kFirstDescriptor) return nullptr;
    const auto index = static_cast<std::size_t>(ud - kFirstDescriptor);
    return index < devices_.size() ? &devices_[index] : nullptr;
}

std::int32_t SimulatedBus::done(std::int32_t status, std::int32_t count) {
    return globals_.publish(status | CMPL, 0, count);
}

std::int32_t SimulatedBus::fail(std::int32_t error, std::int32_t count) {
    return globals_.publish(ERR | CMPL, error, count);
}

std::int32_t SimulatedBus::timedOut(std::int32_t count) {
    return globals_.publish(ERR | TIMO | CMPL, EABO, count);
}

char* SimulatedBus::fileChunk() {
    if (!fileChunk_) fileChunk_ = std::make_unique<char[]>(kFileChunk);
    return fileChunk_.get();
}

std::int32_t SimulatedBus::RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                        std::int32_t* ibcnt, std::int32_t* ibcntl) {
    return globals_.registerThread(ibsta, iberr, ibcnt, ibcntl);
}

std::int32_t SimulatedBus::UnregisterGpibGlobalsForThread() {
    return globals_.unregisterThread();
}

void SimulatedBus::SendIFC(std::int32_t board) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    done(0);
}

std::int32_t SimulatedBus::ibsre(std::int32_t ud, std::int32_t) {
    if (ud != 0) return fail(EARG);
    return done(0);
}

void SimulatedBus::FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                            std::int32_t limit) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    if (padlist == nullptr || resultlist == nullptr || limit <= 0) {
        fail(EARG);
        return;
    }
    std::int32_t stored = 0;
    bool deviceFound = false;
    for (const Addr4882* probe = padlist; *probe != NOADDR; ++probe) {
        const std::int32_t pad = *probe & 0xFF;
        if (pad > kMaxAddress) {
            fail(EARG, stored);
            return;
        }
        // The board hears its own listen address, so its probe takes a place
        // in the results like a real board's does; it is not a device.
        if (pad != 0 && listenerAt(pad) == nullptr) continue;
        if (stored == limit) {
            fail(ETAB, stored);
            return;
        }
        deviceFound = deviceFound || pad != 0;
        resultlist[stored++] = *probe;
    }
    if (!deviceFound) {
        fail(EBUS);
        return;
    }
    done(0, stored);
}

std::int32_t SimulatedBus::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                 std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    if (board != 0) {
        fail(ENEB);
        return -1;
    }
    if (pad < 0 || pad > kMaxAddress || !validSecondary(sad) || tmo < 0 || tmo > kMaxTmo) {
        fail(EARG);
        return -1;
    }
    devices_.push_back(Device{pad, sad, tmo, eot != 0, eos});
    const auto ud = kFirstDescriptor + static_cast<std::int32_t>(devices_.size() - 1);
    done(0);
    return ud;
}

std::int32_t SimulatedBus::ibpad(std::int32_t ud, std::int32_t pad) {
    Device* dev = device(ud);
    if (dev == nullptr || pad < 0 || pad > kMaxAddress) return fail(EARG);
    dev->pad = pad;
    return done(0);
}

std::int32_t SimulatedBus::ibtmo(std::int32_t ud, std::int32_t tmo) {
    if (tmo < 0 || tmo > kMaxTmo) return fail(EARG);
    if (ud == 0) {
        boardTmo_ = tmo;
        return done(0);
    }
    Device* dev = device(ud);
    if (dev == nullptr) return fail(EARG);
    dev->tmo = tmo;
    return done(0);
}

std::int32_t SimulatedBus::ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) {
    if (value == nullptr) return fail(EARG);
    if (ud == 0) {
        if (option == IbaTMO) {
            *value = boardTmo_;
        } else if (option == kIbaPAD || option == kIbaSAD) {
            *value = 0;
        } else {
            return fail(EARG);
        }
        return done(0);
    }
    const Device* dev = device(ud);
    if (dev == nullptr) return fail(EARG);
    switch (option) {
    case kIbaPAD:
        *value = dev->pad;
        break;
    case kIbaSAD:
        *value = dev->sad;
        break;
    case IbaTMO:
        *value = dev->tmo;
        break;
    case kIbaEOT:
        *value = dev->eot ? 1 : 0;
        break;
    default:
        return fail(EARG);
    }
    return done(0);
}

std::int32_t SimulatedBus::ibwait(std::int32_t ud, std::int32_t mask) {
    std::int32_t holds = 0;
    if (ud == 0) {
        for (const auto& instrument : instruments_) {
            if (instrument && instrument->requestingService()) holds = SRQI;
        }
    } else {
        const Device* dev = device(ud);
        if (dev == nullptr) return fail(EARG);
        const sim::Instrument* instrument = listenerAt(dev->pad);
        if (instrument != nullptr && instrument->requestingService()) holds = RQS;
    }
    // CMPL always holds: nothing runs in the background.
    const std::int32_t awaited = mask & ~TIMO;
    if ((awaited & (holds | CMPL)) != 0 || mask == 0) return done(holds);
    return done(holds | TIMO);
}

std::int32_t SimulatedBus::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    const Device* dev = device(ud);
    if (dev == nullptr || cnt < 0 || (buf == nullptr && cnt > 0)) return fail(EARG);
    sim::Instrument* instrument = listenerAt(dev->pad);
    if (instrument == nullptr) return fail(ENOL);
    if (cnt > 0) {
        instrument->receive(
            std::string_view(static_cast<const char*>(buf), static_cast<std::size_t>(cnt)),
            dev->eot);
    }
    return done(0, cnt);
}

std::int32_t SimulatedBus::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    const Device* dev = device(ud);
    if (dev == nullptr || cnt < 0 || (buf == nullptr && cnt > 0)) return fail(EARG);
    sim::Instrument* instrument = listenerAt(dev->pad);
    if (instrument == nullptr || !instrument->hasOutput()) return timedOut();
    bool end = false;
    const std::size_t n =
        instrument->talk(static_cast<char*>(buf), static_cast<std::size_t>(cnt), end);
    return done(end ? END : 0, static_cast<std::int32_t>(n));
}

std::int32_t SimulatedBus::ibrsp(std::int32_t ud, char* spr) {
    const Device* dev = device(ud);
    if (dev == nullptr || spr == nullptr) return fail(EARG);
    sim::Instrument* instrument = listenerAt(dev->pad);
    if (instrument == nullptr) return timedOut();
    spr[0] = static_cast<char>(instrument->serialPoll());
    return done(0, 1);
}

void SimulatedBus::DevClear(std::int32_t board, Addr4882 address) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    if (address == NOADDR) {
        // Universal clear: every device.
        for (const auto& instrument : instruments_) {
            if (instrument) instrument->deviceClear();
        }
        done(0);
        return;
    }
    const std::int32_t pad = address & 0xFF;
    if (pad > kMaxAddress) {
        fail(EARG);
        return;
    }
    sim::Instrument* instrument = listenerAt(pad);
    if (instrument == nullptr) {
        fail(ENOL);
        return;
    }
    instrument->deviceClear();
    done(0);
}

std::int32_t SimulatedBus::ibwrtfA(std::int32_t ud, const char* filename) {
    const Device* dev = device(ud);
    if (dev == nullptr || filename == nullptr) return fail(EARG);
    File file(std::fopen(filename, "rb"));
    if (file.handle == nullptr) return fail(EFSO);
    sim::Instrument* instrument = listenerAt(dev->pad);
    if (instrument == nullptr) return fail(ENOL);

    char* chunk = fileChunk();
    std::uint64_t sent = 0;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, kFileChunk, file.handle);
        if (std::ferror(file.handle)) return fail(EFSO, clampCount(sent));
        // Look one byte ahead so EOI goes with the file's last byte.
        const int next = std::fgetc(file.handle);
        const bool last = next == EOF;
        if (!last) std::ungetc(next, file.handle);
        if (n > 0) instrument->receive(std::string_view(chunk, n), last && dev->eot);
        sent += n;
        if (last) break;
    }
    if (std::ferror(file.handle)) return fail(EFSO, clampCount(sent));
    return done(0, clampCount(sent));
}

std::int32_t SimulatedBus::ibrdfA(std::int32_t ud, const char* filename) {
    const Device* dev = device(ud);
    if (dev == nullptr || filename == nullptr) return fail(EARG);
    File file(std::fopen(filename, "wb"));
    if (file.handle == nullptr) return fail(EFSO);
    sim::Instrument* instrument = listenerAt(dev->pad);
    if (instrument == nullptr || !instrument->hasOutput()) return timedOut();

    char* chunk = fileChunk();
    std::uint64_t received = 0;
    bool end = false;
    while (!end) {
        const std::size_t n = instrument->talk(chunk, kFileChunk, end);
        if (std::fwrite(chunk, 1, n, file.handle) != n) return fail(EFSO, clampCount(received));
        received += n;
    }
    if (std::fflush(file.handle) != 0) return fail(EFSO, clampCount(received));
    return done(END, clampCount(received));
}

} // namespace bus
