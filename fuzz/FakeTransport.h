#pragma once

// What the back-end fuzzers share: a pipe whose far end the fuzzer plays, and
// the driver calls the console makes, chosen by the input and checked.
#include "Check.h"
#include "bus/Driver.h"
#include "bus/drivers/adapter/Transport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fuzzing {

// One connection to a peer the fuzzer plays. When all it queued is taken, a
// receive takes the peer's next move from the input: of `moves` choices, 0
// drops the connection for good, 1 stays silent for this receive, and the
// rest send what bytes(choice) makes. When the input is used up, the peer
// does `atEnd`.
class FakeTransport : public bus::adapter::Transport {
public:
    enum class Step { Silence, Drop };

    FakeTransport(FuzzedDataProvider& in, int moves, Step atEnd)
        : in_(in), moves_(moves), atEnd_(atEnd) {}

    bool send(const char* data, std::size_t size, int) override {
        sent(data, size);
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int) override {
        if (failed_) return -1;
        if (queued_.empty()) {
            const int move = in_.remaining_bytes() == 0 ? (atEnd_ == Step::Drop ? 0 : 1)
                                                        : in_.ConsumeIntegralInRange(0, moves_ - 1);
            if (move == 0) {
                failed_ = true;
                return -1;
            }
            if (move == 1) return 0;
            queued_ = bytes(move);
        }
        const std::size_t n = std::min(size, queued_.size());
        std::memcpy(buffer, queued_.data(), n);
        queued_.erase(0, n);
        return static_cast<long>(n);
    }
    void discardInput() override { queued_.clear(); }

protected:
    // What the peer sends for a move from 2 on.
    virtual std::string bytes(int move) = 0;
    // Sees each block the driver sends.
    virtual void sent(const char* data, std::size_t size) {
        (void)data;
        (void)size;
    }

    FuzzedDataProvider& in_;

private:
    int moves_;
    Step atEnd_;
    std::string queued_;
    bool failed_ = false;
};

enum class Call {
    MakeDevice,
    Write,
    Read,
    SerialPoll,
    FindListeners,
    Clear,
    DeviceClear,
    InterfaceClear,
    RemoteEnable,
    Wait
};

// Which driver calls a back end gets, and how they vary.
struct CallSet {
    std::vector<Call> calls; // the input picks one by its index
    std::int32_t lowestPad = 0;
    bool pickTimeout = true; // else T1s
    bool pickEos = false;    // else none
    std::size_t longestWrite = 64;
    bool pickListenerLimit = true; // else all 31
    bool checkPollCount = true;
};

// Up to 64 of the console's driver calls on one driver, chosen by the
// input: each for a descriptor made so far (32 before any), each ending with
// CMPL and counting no more than it asked for.
inline void runDriverCalls(bus::Driver& d, FuzzedDataProvider& in, const CallSet& set) {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    d.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    std::vector<std::int32_t> made;
    for (int calls = 0; calls < 64 && in.remaining_bytes() > 0; ++calls) {
        const std::int32_t ud =
            made.empty() ? 32 : made[in.ConsumeIntegralInRange<std::size_t>(0, made.size() - 1)];
        sta = 0;
        switch (set.calls[in.ConsumeIntegralInRange<std::size_t>(0, set.calls.size() - 1)]) {
        case Call::MakeDevice: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(set.lowestPad, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            const std::int32_t tmo =
                set.pickTimeout ? in.ConsumeIntegralInRange<std::int32_t>(0, 17) : bus::T1s;
            const std::int32_t eos = set.pickEos && in.ConsumeBool() ? 0x40A : 0;
            const std::int32_t device = d.ibdev(0, pad, sad, tmo, in.ConsumeBool(), eos);
            if (device > 0) made.push_back(device);
            break;
        }
        case Call::Write: {
            const std::string message = in.ConsumeRandomLengthString(set.longestWrite);
            d.ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
            FUZZ_CHECK(cntl >= 0 && cntl <= static_cast<std::int32_t>(message.size()));
            break;
        }
        case Call::Read: {
            // Exactly the size asked, so a byte too many is a heap overflow.
            const auto asked = in.ConsumeIntegralInRange<std::int32_t>(0, 300);
            std::vector<char> buffer(static_cast<std::size_t>(asked));
            d.ibrd(ud, buffer.data(), asked);
            FUZZ_CHECK(cntl >= 0 && cntl <= asked);
            break;
        }
        case Call::SerialPoll: {
            char status = 0;
            d.ibrsp(ud, &status);
            FUZZ_CHECK(!set.checkPollCount || (cntl >= 0 && cntl <= 1));
            break;
        }
        case Call::FindListeners: {
            bus::Addr4882 probes[32], found[31] = {};
            for (int a = 0; a <= 30; ++a)
                probes[a] = static_cast<bus::Addr4882>(a);
            probes[31] = bus::NOADDR;
            const std::int32_t limit =
                set.pickListenerLimit ? in.ConsumeIntegralInRange<std::int32_t>(1, 31) : 31;
            d.FindLstn(0, probes, found, limit);
            FUZZ_CHECK(cntl >= 0 && cntl <= limit);
            if (sta & bus::ERR) d.startupAdvice(err, cntl);
            break;
        }
        case Call::Clear:
            d.ibclr(ud);
            break;
        case Call::DeviceClear:
            d.DevClear(0, in.ConsumeBool()
                              ? bus::NOADDR
                              : static_cast<bus::Addr4882>(in.ConsumeIntegralInRange(0, 30)));
            break;
        case Call::InterfaceClear:
            d.SendIFC(0);
            break;
        case Call::RemoteEnable:
            d.ibsre(0, in.ConsumeBool());
            break;
        case Call::Wait:
            d.ibwait(ud, bus::RQS | bus::CMPL);
            break;
        }
        FUZZ_CHECK((sta & bus::CMPL) != 0);
    }
    d.UnregisterGpibGlobalsForThread();
}

} // namespace fuzzing
