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

// One connection to a peer the fuzzer plays. When all it queued is taken,
// a receive asks next() for what the peer does now: send bytes, stay silent
// for this receive, or drop the connection for good.
class FakeTransport : public bus::adapter::Transport {
public:
    enum class Step { Bytes, Silence, Drop };

    bool send(const char* data, std::size_t size, int) override {
        sent(data, size);
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int) override {
        if (failed_) return -1;
        if (queued_.empty()) {
            switch (next(queued_)) {
            case Step::Drop:
                failed_ = true;
                return -1;
            case Step::Silence:
                return 0;
            case Step::Bytes:
                break;
            }
        }
        const std::size_t n = std::min(size, queued_.size());
        std::memcpy(buffer, queued_.data(), n);
        queued_.erase(0, n);
        return static_cast<long>(n);
    }
    void discardInput() override { queued_.clear(); }

protected:
    // The peer's next move; with Step::Bytes, `bytes` holds what it sends.
    virtual Step next(std::string& bytes) = 0;
    // Sees each block the driver sends.
    virtual void sent(const char* data, std::size_t size) {
        (void)data;
        (void)size;
    }

private:
    std::string queued_;
    bool failed_ = false;
};

// The console's driver calls on one driver, in an order the input picks:
// each sees a descriptor made so far (32 before any), ends with CMPL, and
// counts no more than it asked for.
class DriverCalls {
public:
    DriverCalls(bus::Driver& driver, FuzzedDataProvider& in) : d(driver), in_(in) {
        d.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    }
    ~DriverCalls() { d.UnregisterGpibGlobalsForThread(); }
    DriverCalls(const DriverCalls&) = delete;
    DriverCalls& operator=(const DriverCalls&) = delete;

    // Up to 64 calls while input lasts; `call` makes one for a descriptor.
    template <typename Call> void run(Call call) {
        for (int calls = 0; calls < 64 && in_.remaining_bytes() > 0; ++calls) {
            const std::int32_t ud =
                made_.empty() ? 32
                              : made_[in_.ConsumeIntegralInRange<std::size_t>(0, made_.size() - 1)];
            sta = 0;
            call(ud);
            FUZZ_CHECK((sta & bus::CMPL) != 0);
        }
    }
    void keep(std::int32_t made) {
        if (made > 0) made_.push_back(made);
    }
    void write(std::int32_t ud, std::size_t longest) {
        const std::string message = in_.ConsumeRandomLengthString(longest);
        d.ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
        FUZZ_CHECK(cntl >= 0 && cntl <= static_cast<std::int32_t>(message.size()));
    }
    void read(std::int32_t ud) {
        // Exactly the size asked, so a byte too many is a heap overflow.
        const auto asked = in_.ConsumeIntegralInRange<std::int32_t>(0, 300);
        std::vector<char> buffer(static_cast<std::size_t>(asked));
        d.ibrd(ud, buffer.data(), asked);
        FUZZ_CHECK(cntl >= 0 && cntl <= asked);
    }
    void findListeners(std::int32_t limit) {
        bus::Addr4882 probes[32], found[31] = {};
        for (int a = 0; a <= 30; ++a)
            probes[a] = static_cast<bus::Addr4882>(a);
        probes[31] = bus::NOADDR;
        d.FindLstn(0, probes, found, limit);
        FUZZ_CHECK(cntl >= 0 && cntl <= limit);
        if (sta & bus::ERR) d.startupAdvice(err, cntl);
    }
    void deviceClear() {
        d.DevClear(0, in_.ConsumeBool()
                          ? bus::NOADDR
                          : static_cast<bus::Addr4882>(in_.ConsumeIntegralInRange(0, 30)));
    }

    bus::Driver& d;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;

private:
    FuzzedDataProvider& in_;
    std::vector<std::int32_t> made_;
};

} // namespace fuzzing
