#include "support/ScriptedDriver.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

ScriptedDriver::I ScriptedDriver::finish(const char* op, std::initializer_list<I> args,
                                         const std::string& text, I cnt, const Outcome* outcome) {
    std::string call = op;
    call += '(';
    for (const I a : args)
        call.append(std::to_string(a)).append(",");
    call.append(text);
    if (text.empty()) call.pop_back();
    calls.push_back(call.append(")"));
    const Outcome o = outcome != nullptr ? *outcome : take(outcomes);
    return globals_.publish(o.sta, o.err, cnt);
}

ScriptedDriver::I ScriptedDriver::RegisterGpibGlobalsForThread(I* sta, I* err, I* cnt, I* cntl) {
    calls.push_back("RegisterGpibGlobalsForThread");
    const I result = take(registerResults);
    if (result == 0 || result == 1) {
        globals_.unregisterThread();
        globals_.registerThread(sta, err, cnt, cntl);
    }
    return result;
}

ScriptedDriver::I ScriptedDriver::UnregisterGpibGlobalsForThread() {
    calls.push_back("UnregisterGpibGlobalsForThread");
    return globals_.unregisterThread();
}

void ScriptedDriver::FindLstn(I board, const bus::Addr4882* padlist, bus::Addr4882* resultlist,
                              I limit) {
    std::string probes;
    for (const bus::Addr4882* p = padlist; *p != bus::NOADDR; ++p)
        probes.append(std::to_string(*p)).append(" ");
    const auto n = std::min<std::size_t>(listeners.size(), static_cast<std::size_t>(limit));
    std::copy_n(listeners.begin(), n, resultlist);
    finish("FindLstn", {board}, probes.append(",").append(std::to_string(limit)), static_cast<I>(n),
           &findOutcome);
}

ScriptedDriver::I ScriptedDriver::ibdev(I board, I pad, I sad, I tmo, I eot, I eos) {
    finish("ibdev", {board, pad, sad, tmo, eot, eos});
    timeout = tmo;
    return descriptor;
}

ScriptedDriver::I ScriptedDriver::ibwrt(I ud, const void* buf, I cnt) {
    written.emplace_back(static_cast<const char*>(buf), static_cast<std::size_t>(cnt));
    return finish("ibwrt", {ud}, written.back(), writeCount >= 0 ? writeCount : cnt);
}

ScriptedDriver::I ScriptedDriver::ibrd(I ud, void* buf, I cnt) {
    const Chunk chunk = take(reads, Chunk{"", bus::ERR | bus::TIMO, bus::EABO});
    const auto n = std::min<std::size_t>(chunk.bytes.size(), static_cast<std::size_t>(cnt));
    std::memcpy(buf, chunk.bytes.data(), n);
    const Outcome outcome{chunk.sta, chunk.err};
    return finish("ibrd", {ud, cnt}, {}, chunk.count >= 0 ? chunk.count : static_cast<I>(n),
                  &outcome);
}

int ScriptedDriver::count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(
        calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

} // namespace testing_support
