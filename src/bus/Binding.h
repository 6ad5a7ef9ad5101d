#pragma once

#include "bus/Driver.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace bus {

// Low 16 bits of a driver value as a signed 16-bit number.
constexpr std::int16_t LongToInt(std::int32_t value) {
    const auto low = static_cast<std::uint32_t>(value) & 0xFFFFu;
    return static_cast<std::int16_t>(low >= 0x8000u ? static_cast<std::int32_t>(low) - 0x10000
                                                    : static_cast<std::int32_t>(low));
}

// The one caller of the driver. One operation per driver function the console
// uses, under the function's own name; after each call the driver's status is
// left in ibsta, iberr and ibcnt (16-bit copies) for the caller to judge.
// The driver's status variables are registered lazily, before the first
// call on each thread that calls, and never released; one thread calls at a
// time.
class Binding {
public:
    explicit Binding(Driver& driver) : driver_(driver) {}
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    std::int16_t ibsta = 0;
    std::int16_t iberr = 0;
    std::int16_t ibcnt = 0;

    // Whether the calling thread's registration stands.
    bool globalsRegistered() const { return registeredOn_ == std::this_thread::get_id(); }
    std::int32_t ibcntlLong() const { return ibcntlLong_; }

    void SendIFC(std::int16_t board);
    void ibsre(std::int16_t board, std::int16_t value);
    void FindLstn(std::int16_t board, const std::int16_t* probeList, std::int16_t* resultList,
                  std::int16_t limit);
    std::int16_t ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
                       std::int16_t eot, std::int16_t eos);
    void ibpad(std::int16_t ud, std::int16_t pad);
    void ibtmo(std::int16_t ud, std::int16_t tmo);
    std::int16_t ibask(std::int16_t ud, std::int16_t option);
    void ibwait(std::int16_t ud, std::int16_t mask);
    // The text goes as 8-bit bytes; the count is its length in characters.
    void ibwrt(std::int16_t ud, std::u16string_view text);
    // Reads at most buffer.size() bytes into the start of the buffer; what
    // stood behind them stays, and the length never changes.
    void ibrd(std::int16_t ud, std::u16string& buffer);
    // Reads at most `count` bytes and appends what the driver delivered to
    // `bytes`, so an answer can be gathered as bytes and converted once.
    void ibrd(std::int16_t ud, std::string& bytes, std::size_t count);
    // The serial poll status byte, 0 to 255.
    std::int16_t ibrsp(std::int16_t ud);
    void DevClear(std::int16_t board, std::int16_t address);
    void ibonl(std::int16_t ud, std::int16_t value);
    void ibwrtf(std::int16_t ud, std::u16string_view fileName);
    void ibrdf(std::int16_t ud, std::u16string_view fileName);
    // What to fix after the last call failed at start-up ("" when the error
    // code says it all).
    std::u16string startupAdvice();

private:
    void ensureRegistered();
    void copyStatus();

    Driver& driver_;
    std::int32_t ibstaLong_ = 0;
    std::int32_t iberrLong_ = 0;
    std::int32_t ibcntLong_ = 0;
    std::int32_t ibcntlLong_ = 0;
    std::thread::id registeredOn_{};
    char spollBuffer_[2] = {' ', ' '};
    std::string bytes_; // reused 8-bit buffer, so a read loop does not allocate per chunk
};

} // namespace bus
