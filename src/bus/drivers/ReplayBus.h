#pragma once

#include "bus/drivers/AdapterDriver.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace bus {

// What a recorded run (an I/O trace) shows of each device: the writes it got,
// the answers read after each, and the status bytes its serial polls gave.
struct Recording {
    struct Exchange {
        std::string write;
        // One entry each time the write was made: the answers read after it
        // (an answer ends at a read with END), in order.
        std::vector<std::vector<std::string>> times;
    };
    struct Device {
        bool listening = false;
        std::vector<Exchange> exchanges; // in the order first written
        std::unordered_map<std::string, std::size_t> byWrite;
        std::vector<std::uint8_t> polls;
    };
    std::array<Device, AdapterDriver::kMaxAddress + 1> devices;
};

struct ReplayLoad {
    Recording recording;
    std::vector<std::string> notes;
    std::string error; // the trace could not be read at all
};

// The longest line a replayed trace may hold, in bytes without its line feed.
// The longest lines --trace writes are an adapter's reply (at most 64 KiB and
// one 512-byte receive, each byte written as up to six characters, \u00XX:
// under 400 KB) and a write from the entry box (32767 characters and CR LF:
// under 200 KB); a read record holds at most 512 bytes. A longer line did not
// come from this program, and reading it would cost memory in proportion, so
// it is skipped unread.
inline constexpr std::size_t kMaxTraceLine = std::size_t{1} << 20;

// Reads a trace written by --trace, a line at a time, so a file costs no more
// than its recording and one line. The listeners are those FindLstn found
// (or, in a trace without FindLstn, the devices written to). Lines that are
// not JSON, and lines longer than kMaxTraceLine, are skipped and named in a
// note each. Only the fields a replay uses are read; the rest of a line is
// stepped over without being built.
ReplayLoad loadTrace(const std::string& path);
ReplayLoad readTrace(std::string_view text, const std::string& name);

// A bus that answers as a recorded run did. A write the recording saw gets
// the answers recorded after it, those of the first time for the first time
// it comes again, and so on, the last time's once the times run out; a write
// it never saw gets none, so the read that follows times out. Serial polls
// give the recorded status bytes in order, then MAV while an answer waits.
// Answers not read wait in order, as many bytes as a simulated instrument's
// output queue holds (sim::Instrument::kMaxOutput): the answer that crosses
// that is cut there and those after it are lost. An answer that finds the
// queue empty comes whole however long, so a recorded waveform replays as it
// was; the queue only points into the recording. Like the built-in bench,
// nothing ever waits.
class ReplayBus final : public AdapterDriver {
public:
    explicit ReplayBus(Recording recording);

    const Recording& recording() const { return recording_; }

private:
    // The first `size` bytes of a recorded answer.
    struct Waiting {
        const std::string* answer;
        std::size_t size;
    };
    struct State {
        std::vector<std::size_t> nextTime; // per exchange
        std::size_t nextPoll = 0;
        std::deque<Waiting> answers;
        std::size_t readPos = 0;   // in answers.front()
        std::uint64_t waiting = 0; // bytes not yet read, all answers together
    };

    State* device(std::int32_t pad);
    static void clearAnswers(State& state);

    Result interfaceClear() override { return Result::ok(); }
    Result remoteEnable(bool) override { return Result::ok(); }
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target*, bool) override { return false; }

    Recording recording_;
    std::array<State, kMaxAddress + 1> states_;
};

} // namespace bus
