#include "bus/drivers/TraceDriver.h"

#include "bus/drivers/AdapterDriver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <utility>

namespace bus {

namespace {

std::string reason(int error) {
    return error == 0 ? std::string("unknown error") : std::generic_category().message(error);
}

void appendPadded(std::string& out, long long value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

std::string nowTimestamp() {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    return traceTimestamp(us.count());
}

// Starts a line up to and including the opening bracket of "args".
std::string begin(std::string_view op) {
    std::string line;
    line.reserve(160);
    line += "{\"ts\":\"";
    line += nowTimestamp();
    line += "\",\"op\":\"";
    line += op;
    line += "\",\"args\":[";
    return line;
}

void number(std::string& line, std::int64_t value) {
    line += std::to_string(value);
}

void numberArg(std::string& line, std::int64_t value) {
    if (line.back() != '[') line += ',';
    number(line, value);
}

void textArg(std::string& line, std::string_view json) {
    if (line.back() != '[') line += ',';
    line += json;
}

std::string_view bytesOf(const void* buf, std::int32_t cnt) {
    if (buf == nullptr || cnt <= 0) return {};
    return {static_cast<const char*>(buf), static_cast<std::size_t>(cnt)};
}

std::string fileName(const char* name) {
    return name == nullptr ? std::string("null") : traceBytes(name);
}

void endArgs(std::string& line) {
    line += ']';
}

void data(std::string& line, std::string_view json) {
    line += ",\"data\":";
    line += json;
}

void data(std::string& line, std::int64_t value) {
    line += ",\"data\":";
    number(line, value);
}

} // namespace

std::string traceBytes(std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\u00";
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else if (b >= 0x80) {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        } else {
            out += static_cast<char>(b);
        }
    }
    out += '"';
    return out;
}

std::string traceTimestamp(std::int64_t microsecondsSinceEpoch) {
    using namespace std::chrono;
    const sys_time<microseconds> t{microseconds{microsecondsSinceEpoch}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    std::string out;
    out.reserve(27);
    appendPadded(out, static_cast<int>(ymd.year()), 4);
    out += '-';
    appendPadded(out, static_cast<unsigned>(ymd.month()), 2);
    out += '-';
    appendPadded(out, static_cast<unsigned>(ymd.day()), 2);
    out += 'T';
    appendPadded(out, hms.hours().count(), 2);
    out += ':';
    appendPadded(out, hms.minutes().count(), 2);
    out += ':';
    appendPadded(out, hms.seconds().count(), 2);
    out += '.';
    appendPadded(out, hms.subseconds().count(), 6);
    out += 'Z';
    return out;
}

TraceOpenResult TraceDriver::open(std::unique_ptr<Driver> inner, const std::string& path,
                                  std::function<void(const std::string&)> writeFailed) {
    errno = 0;
    // Binary append: lines end in a bare LF everywhere, and earlier runs stay.
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        const int error = path.empty() ? ENOENT : errno;
        return {std::move(inner), "cannot open trace file '" + path + "': " + reason(error)};
    }
    return {std::unique_ptr<Driver>(
                new TraceDriver(std::move(inner), file, path, std::move(writeFailed))),
            {}};
}

TraceDriver::TraceDriver(std::unique_ptr<Driver> inner, std::FILE* file, std::string path,
                         std::function<void(const std::string&)> writeFailed)
    : inner_(std::move(inner)), path_(std::move(path)), writeFailed_(std::move(writeFailed)),
      file_(file) {
    // What crossed the wire to an adapter goes in lines of its own, before
    // the line of the call that sent it:
    // {"ts":...,"op":"adapter","args":["sent","++addr 5"]}
    if (auto* adapter = dynamic_cast<AdapterDriver*>(inner_.get())) {
        adapter->setWireLog([this](bool sent, std::string_view bytes) {
            std::string line = begin("adapter");
            line += sent ? "\"sent\"," : "\"received\",";
            line += traceBytes(bytes);
            line += "]}\n";
            write(line);
        });
    }
}

TraceDriver::~TraceDriver() {
    if (auto* adapter = dynamic_cast<AdapterDriver*>(inner_.get())) adapter->setWireLog({});
    if (file_ != nullptr) std::fclose(file_);
}

bool TraceDriver::tracing() const {
    std::lock_guard lock(fileMutex_);
    return file_ != nullptr;
}

void TraceDriver::finish(std::string& line) {
    line += ",\"ibsta\":";
    number(line, registered_.status());
    line += ",\"iberr\":";
    number(line, registered_.error());
    line += ",\"ibcntl\":";
    number(line, registered_.count());
    line += "}\n";
    write(line);
}

void TraceDriver::write(const std::string& line) {
    std::string failure;
    {
        std::lock_guard lock(fileMutex_);
        if (file_ == nullptr) return;
        errno = 0;
        const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size();
        if (written && std::fflush(file_) == 0) return;
        failure = "cannot write trace file '" + path_ + "': " + reason(errno) +
                  "; the I/O trace has stopped";
        // Whatever is still buffered cannot be written either.
        std::fclose(file_);
        file_ = nullptr;
    }
    if (writeFailed_) writeFailed_(failure);
}

std::int32_t TraceDriver::RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                       std::int32_t* ibcnt, std::int32_t* ibcntl) {
    std::string line = begin("RegisterGpibGlobalsForThread");
    endArgs(line);
    const std::int32_t result = inner_->RegisterGpibGlobalsForThread(ibsta, iberr, ibcnt, ibcntl);
    // Mirror only what the driver accepted, so we read exactly the variables it writes.
    if (result == 0 || result == 1) {
        registered_.unregisterThread();
        registered_.registerThread(ibsta, iberr, ibcnt, ibcntl);
    }
    data(line, result);
    finish(line);
    return result;
}

std::int32_t TraceDriver::UnregisterGpibGlobalsForThread() {
    std::string line = begin("UnregisterGpibGlobalsForThread");
    endArgs(line);
    const std::int32_t result = inner_->UnregisterGpibGlobalsForThread();
    // Forget the variables whatever the driver says: the caller may free them now.
    registered_.unregisterThread();
    data(line, result);
    finish(line);
    return result;
}

void TraceDriver::note(const std::string& text) {
    std::string line = begin("note");
    textArg(line, traceBytes(text));
    endArgs(line);
    finish(line);
}

void TraceDriver::SendIFC(std::int32_t board) {
    std::string line = begin("SendIFC");
    numberArg(line, board);
    endArgs(line);
    inner_->SendIFC(board);
    finish(line);
}

// The calls whose arguments are two numbers and that return only a status.
template <typename Call>
std::int32_t TraceDriver::traceTwoNumbers(std::string_view op, std::int32_t first,
                                          std::int32_t second, Call call) {
    std::string line = begin(op);
    numberArg(line, first);
    numberArg(line, second);
    endArgs(line);
    const std::int32_t sta = call();
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibsre(std::int32_t ud, std::int32_t v) {
    return traceTwoNumbers("ibsre", ud, v, [&] { return inner_->ibsre(ud, v); });
}

void TraceDriver::FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                           std::int32_t limit) {
    std::string line = begin("FindLstn");
    numberArg(line, board);
    if (padlist == nullptr) {
        textArg(line, "null");
    } else {
        std::string probes = "[";
        for (const Addr4882* p = padlist;; ++p) {
            if (p != padlist) probes += ',';
            probes += std::to_string(*p);
            if (*p == NOADDR) break;
        }
        probes += ']';
        textArg(line, probes);
    }
    numberArg(line, limit);
    endArgs(line);
    inner_->FindLstn(board, padlist, resultlist, limit);
    // The driver counts the listeners it stored in ibcntl.
    const std::int32_t found =
        resultlist == nullptr ? 0 : std::clamp(registered_.count(), 0, std::max(limit, 0));
    std::string listeners = "[";
    for (std::int32_t i = 0; i < found; ++i) {
        if (i > 0) listeners += ',';
        listeners += std::to_string(resultlist[i]);
    }
    listeners += ']';
    data(line, listeners);
    finish(line);
}

std::int32_t TraceDriver::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    std::string line = begin("ibdev");
    for (const std::int32_t a : {board, pad, sad, tmo, eot, eos})
        numberArg(line, a);
    endArgs(line);
    const std::int32_t ud = inner_->ibdev(board, pad, sad, tmo, eot, eos);
    data(line, ud);
    finish(line);
    return ud;
}

std::int32_t TraceDriver::ibpad(std::int32_t ud, std::int32_t pad) {
    return traceTwoNumbers("ibpad", ud, pad, [&] { return inner_->ibpad(ud, pad); });
}

std::int32_t TraceDriver::ibtmo(std::int32_t ud, std::int32_t tmo) {
    return traceTwoNumbers("ibtmo", ud, tmo, [&] { return inner_->ibtmo(ud, tmo); });
}

std::int32_t TraceDriver::ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) {
    std::string line = begin("ibask");
    numberArg(line, ud);
    numberArg(line, option);
    endArgs(line);
    const std::int32_t sta = inner_->ibask(ud, option, value);
    if (value == nullptr)
        data(line, "null");
    else
        data(line, *value);
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibwait(std::int32_t ud, std::int32_t mask) {
    return traceTwoNumbers("ibwait", ud, mask, [&] { return inner_->ibwait(ud, mask); });
}

std::int32_t TraceDriver::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    std::string line = begin("ibwrt");
    numberArg(line, ud);
    textArg(line, traceBytes(bytesOf(buf, cnt)));
    numberArg(line, cnt);
    endArgs(line);
    const std::int32_t sta = inner_->ibwrt(ud, buf, cnt);
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    std::string line = begin("ibrd");
    numberArg(line, ud);
    numberArg(line, cnt);
    endArgs(line);
    const std::int32_t sta = inner_->ibrd(ud, buf, cnt);
    // Only the received bytes: whatever stood behind them in the buffer is not data.
    const std::int32_t received = std::clamp(registered_.count(), 0, std::max(cnt, 0));
    data(line, traceBytes(bytesOf(buf, received)));
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibrsp(std::int32_t ud, char* spr) {
    std::string line = begin("ibrsp");
    numberArg(line, ud);
    endArgs(line);
    const std::int32_t sta = inner_->ibrsp(ud, spr);
    if (spr == nullptr)
        data(line, "null");
    else
        data(line, static_cast<std::int64_t>(static_cast<unsigned char>(spr[0])));
    finish(line);
    return sta;
}

void TraceDriver::DevClear(std::int32_t board, Addr4882 address) {
    std::string line = begin("DevClear");
    numberArg(line, board);
    numberArg(line, address);
    endArgs(line);
    inner_->DevClear(board, address);
    finish(line);
}

std::int32_t TraceDriver::ibclr(std::int32_t ud) {
    std::string line = begin("ibclr");
    numberArg(line, ud);
    endArgs(line);
    const std::int32_t sta = inner_->ibclr(ud);
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibonl(std::int32_t ud, std::int32_t v) {
    return traceTwoNumbers("ibonl", ud, v, [&] { return inner_->ibonl(ud, v); });
}

std::int32_t TraceDriver::ibwrtfA(std::int32_t ud, const char* filename) {
    std::string line = begin("ibwrtfA");
    numberArg(line, ud);
    textArg(line, fileName(filename));
    endArgs(line);
    const std::int32_t sta = inner_->ibwrtfA(ud, filename);
    finish(line);
    return sta;
}

std::int32_t TraceDriver::ibrdfA(std::int32_t ud, const char* filename) {
    std::string line = begin("ibrdfA");
    numberArg(line, ud);
    textArg(line, fileName(filename));
    endArgs(line);
    const std::int32_t sta = inner_->ibrdfA(ud, filename);
    finish(line);
    return sta;
}

} // namespace bus
