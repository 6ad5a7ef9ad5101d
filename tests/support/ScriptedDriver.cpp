#include "support/ScriptedDriver.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

std::int32_t ScriptedDriver::RegisterGpibGlobalsForThread(std::int32_t* sta, std::int32_t* err,
                                                          std::int32_t* cnt, std::int32_t* cntl) {
    calls.push_back("RegisterGpibGlobalsForThread");
    std::int32_t result = 0;
    if (!registerResults.empty()) {
        result = registerResults.front();
        registerResults.pop_front();
    }
    if (result == 0 || result == 1) {
        sta_ = sta;
        err_ = err;
        cnt_ = cnt;
        cntl_ = cntl;
    }
    return result;
}

std::int32_t ScriptedDriver::UnregisterGpibGlobalsForThread() {
    calls.push_back("UnregisterGpibGlobalsForThread");
    sta_ = err_ = cnt_ = cntl_ = nullptr;
    return 0;
}

std::int32_t ScriptedDriver::publish(std::int32_t sta, std::int32_t err, std::int32_t cnt) {
    if (sta_ != nullptr) {
        *sta_ = sta;
        *err_ = err;
        *cnt_ = cnt;
        *cntl_ = cnt;
    }
    return sta;
}

std::int32_t ScriptedDriver::finish(std::string call, std::int32_t cnt) {
    calls.push_back(std::move(call));
    Outcome o;
    if (!outcomes.empty()) {
        o = outcomes.front();
        outcomes.pop_front();
    }
    return publish(o.sta, o.err, cnt);
}

void ScriptedDriver::SendIFC(std::int32_t board) { finish("SendIFC(" + std::to_string(board) + ")"); }

std::int32_t ScriptedDriver::ibsre(std::int32_t ud, std::int32_t v) {
    return finish("ibsre(" + std::to_string(ud) + "," + std::to_string(v) + ")");
}

void ScriptedDriver::FindLstn(std::int32_t board, const bus::Addr4882* padlist,
                              bus::Addr4882* resultlist, std::int32_t limit) {
    std::string call = "FindLstn(" + std::to_string(board) + ",";
    // Appended piece by piece: GCC 12 at -O2 takes "," + std::to_string(...)
    // for an overlapping copy (-Wrestrict).
    for (const bus::Addr4882* p = padlist; *p != bus::NOADDR; ++p) {
        call += std::to_string(*p);
        call += ' ';
    }
    call += ',';
    call += std::to_string(limit);
    call += ')';
    calls.push_back(call);
    const auto n = std::min<std::size_t>(listeners.size(), static_cast<std::size_t>(limit));
    std::copy_n(listeners.begin(), n, resultlist);
    publish(findOutcome.sta, findOutcome.err, static_cast<std::int32_t>(n));
}

std::int32_t ScriptedDriver::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                   std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    finish("ibdev(" + std::to_string(board) + "," + std::to_string(pad) + "," +
           std::to_string(sad) + "," + std::to_string(tmo) + "," + std::to_string(eot) + "," +
           std::to_string(eos) + ")");
    timeout = tmo;
    return descriptor;
}

std::int32_t ScriptedDriver::ibpad(std::int32_t ud, std::int32_t pad) {
    return finish("ibpad(" + std::to_string(ud) + "," + std::to_string(pad) + ")");
}

std::int32_t ScriptedDriver::ibtmo(std::int32_t ud, std::int32_t tmo) {
    timeout = tmo;
    return finish("ibtmo(" + std::to_string(ud) + "," + std::to_string(tmo) + ")");
}

std::int32_t ScriptedDriver::ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) {
    *value = timeout;
    return finish("ibask(" + std::to_string(ud) + "," + std::to_string(option) + ")");
}

std::int32_t ScriptedDriver::ibwait(std::int32_t ud, std::int32_t mask) {
    return finish("ibwait(" + std::to_string(ud) + "," + std::to_string(mask) + ")");
}

std::int32_t ScriptedDriver::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    written.emplace_back(static_cast<const char*>(buf), static_cast<std::size_t>(cnt));
    return finish("ibwrt(" + std::to_string(ud) + "," + written.back() + ")", cnt);
}

std::int32_t ScriptedDriver::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    calls.push_back("ibrd(" + std::to_string(ud) + "," + std::to_string(cnt) + ")");
    if (reads.empty()) return publish(bus::ERR | bus::TIMO, bus::EABO, 0);
    Chunk chunk = std::move(reads.front());
    reads.pop_front();
    const auto n = std::min<std::size_t>(chunk.bytes.size(), static_cast<std::size_t>(cnt));
    std::memcpy(buf, chunk.bytes.data(), n);
    return publish(chunk.sta, chunk.err, static_cast<std::int32_t>(n));
}

std::int32_t ScriptedDriver::ibrsp(std::int32_t ud, char* spr) {
    unsigned char byte = 0;
    if (!pollBytes.empty()) {
        byte = pollBytes.front();
        pollBytes.pop_front();
    }
    spr[0] = static_cast<char>(byte);
    return finish("ibrsp(" + std::to_string(ud) + ")");
}

void ScriptedDriver::DevClear(std::int32_t board, bus::Addr4882 address) {
    finish("DevClear(" + std::to_string(board) + "," + std::to_string(address) + ")");
}

std::int32_t ScriptedDriver::ibwrtfA(std::int32_t ud, const char* filename) {
    return finish("ibwrtfA(" + std::to_string(ud) + "," + filename + ")");
}

std::int32_t ScriptedDriver::ibrdfA(std::int32_t ud, const char* filename) {
    return finish("ibrdfA(" + std::to_string(ud) + "," + filename + ")");
}

int ScriptedDriver::count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.rfind(prefix, 0) == 0;
    }));
}

} // namespace testing_support
