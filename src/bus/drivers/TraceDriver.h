#pragma once

#include "bus/Driver.h"
#include "bus/drivers/ThreadGlobals.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace bus {

class TraceDriver;

// What TraceDriver::open hands back: always a driver to go on with. On
// success it is the TraceDriver (owning the inner driver); when the trace file
// cannot be opened it is the inner driver itself, untraced, and error says
// which file and why.
struct TraceOpenResult {
    std::unique_ptr<Driver> driver;
    std::string error;
};

// A decorator that passes every call to the driver it owns and appends one
// JSON object per call to a trace file (JSON Lines), flushed line by line so
// a crash loses nothing written before it. The fields, in order:
//   "ts"     UTC time the call began, e.g. "2024-05-01T12:34:56.123456Z"
//   "op"     the driver function's name
//   "args"   its arguments in the driver's order; output buffers are left out;
//            byte strings (written data, file names) as JSON strings in which
//            byte b is the character U+00bb; FindLstn's probe list as numbers
//            up to and including NOADDR; registration pointers as []
//   "data"   only where the call hands something back: the bytes ibrd
//            received (exactly ibcntl of them), the listeners FindLstn stored
//            (ibcntl of them), ibask's value, ibrsp's status byte, ibdev's
//            descriptor, and the result code of the two registration calls
//   "ibsta", "iberr", "ibcntl"  the calling thread's registered variables read
//            after the call, 0 when the thread registered nothing.
// A back end with an adapter of its own also gets a line for each command
// line it sent and each reply it received: "op":"adapter" and "args" of
// "sent" or "received" and the bytes, without status.
// The inner driver writes the status variables; the decorator only remembers
// which ones each thread registered, to read them back. A write that fails
// ends the trace, is reported once through writeFailed (on the thread whose
// call failed to be written), and never disturbs the driver calls. Safe to
// call from several threads; lines never interleave.
class TraceDriver final : public Driver {
public:
    static TraceOpenResult open(std::unique_ptr<Driver> inner, const std::string& path,
                                std::function<void(const std::string&)> writeFailed = {});

    ~TraceDriver() override;
    TraceDriver(const TraceDriver&) = delete;
    TraceDriver& operator=(const TraceDriver&) = delete;

    // False once a write has failed.
    bool tracing() const;
    const std::string& path() const { return path_; }
    Driver& inner() { return *inner_; }

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
    std::int32_t ibclr(std::int32_t ud) override;
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override;
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) override;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) override;
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override {
        return inner_->startupAdvice(iberr, ibcntl);
    }
    // Writes a line the console wants in the trace beside the calls:
    // {"ts":...,"op":"note","args":[text]}.
    void note(const std::string& text);
    void watchTransfers(TransferWatch* watch) override { inner_->watchTransfers(watch); }

private:
    TraceDriver(std::unique_ptr<Driver> inner, std::FILE* file, std::string path,
                std::function<void(const std::string&)> writeFailed);

    // Appends the calling thread's status as it stands now, ends the line,
    // writes it and flushes.
    void finish(std::string& line);
    // Writes and flushes one whole line.
    void write(const std::string& line);
    template <typename Call>
    std::int32_t traceTwoNumbers(std::string_view op, std::int32_t first, std::int32_t second,
                                 Call call);

    std::unique_ptr<Driver> inner_;
    std::string path_;
    std::function<void(const std::string&)> writeFailed_;
    // Which variables each thread registered; only read, never published to.
    ThreadGlobals registered_;
    mutable std::mutex fileMutex_;
    std::FILE* file_; // null once a write failed
};

// The JSON string (with its quotes) in which byte b stands for U+00bb:
// quote, backslash and control characters escaped, bytes from 0x80 as UTF-8.
std::string traceBytes(std::string_view bytes);

// "YYYY-MM-DDThh:mm:ss.uuuuuuZ" for a count of microseconds since 1970 UTC.
std::string traceTimestamp(std::int64_t microsecondsSinceEpoch);

} // namespace bus
