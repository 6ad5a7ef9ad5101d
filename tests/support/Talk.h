#pragma once

#include "bus/Driver.h"
#include "bus/sim/Instrument.h"

#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

inline constexpr const char* kTimeout = "<time-out>";
inline constexpr const char* kNoListener = "<no listener>";

// Talks to a driver as the console does, with this thread's status variables
// registered for as long as it lives.
class Talk {
public:
    explicit Talk(bus::Driver& driver) : d(driver) {
        d.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    }
    ~Talk() { d.UnregisterGpibGlobalsForThread(); }

    std::int32_t open(int pad, int eot = 1) { return d.ibdev(0, pad, 0, bus::T1s, eot, 0); }
    void write(std::int32_t ud, std::string_view text) {
        d.ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
    }
    // Writes, then reads up to END; a failed read adds kTimeout.
    std::string ask(int pad, std::string_view message) {
        const std::int32_t ud = open(pad);
        write(ud, message);
        if (sta & bus::ERR) return err == bus::ENOL ? kNoListener : "<write failed>";
        std::string answer;
        char chunk[4096];
        do {
            d.ibrd(ud, chunk, sizeof chunk);
            if (sta & bus::ERR) return answer + kTimeout;
            answer.append(chunk, static_cast<std::size_t>(cntl));
        } while ((sta & bus::END) == 0);
        return answer;
    }
    int poll(std::int32_t ud) {
        char spr[2] = {};
        d.ibrsp(ud, spr);
        return static_cast<unsigned char>(spr[0]);
    }

    bus::Driver& d;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

// An instrument for tests where the bytes themselves matter: it sends back
// each message it takes, unchanged. As an echo it takes everything up to EOI
// as one message; as a recorder, lines of at most 8 bytes. "FAIL\n" runs it
// out of memory.
class Echo final : public bus::sim::Instrument {
public:
    explicit Echo(bool echo = true) : echo_(echo) {}
    std::vector<std::string> messages;
    bool lost = false;

private:
    void execute(std::string_view message) override {
        if (message == "FAIL\n") throw std::bad_alloc();
        messages.emplace_back(message);
        queueOutput(std::string(message));
    }
    void outOfMemory() override { lost = true; }
    std::uint8_t statusByte() const override { return 0; }
    bool serviceCondition() const override { return false; }
    bool lineFeedEndsMessage() const override { return !echo_; }
    std::size_t maxMessageLength() const override { return echo_ ? 1 << 20 : 8; }
    void messageTooLong() override { messages.emplace_back("too long"); }
    bool echo_;
};

} // namespace testing_support
