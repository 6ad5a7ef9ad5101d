#pragma once

#include "bus/BusSession.h"
#include "bus/Driver.h"
#include "bus/drivers/ThreadGlobals.h"
#include "support/ScriptedMessageBoxes.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_support {

// A driver whose every outcome a test sets by hand, recording each call as
// text ("ibpad(32,5)"). Statuses go to the calling thread's registered
// variables exactly as a real driver's would; nothing is written for a thread
// that registered none.
class ScriptedDriver : public bus::Driver {
public:
    using I = std::int32_t;
    struct Outcome {
        I sta = 0;
        I err = 0;
    };
    struct Chunk {
        std::string bytes;
        I sta = bus::END;
        I err = 0;
        I count = -1; // when not negative, the count claimed instead of the bytes delivered
    };

    // Registration results to hand out, in order; 0 when the list is empty.
    std::deque<I> registerResults;
    // Outcome of the next call of any kind but ibrd and FindLstn; the default is success.
    std::deque<Outcome> outcomes;
    // What successive reads deliver; an empty list means a time-out.
    std::deque<Chunk> reads;
    // Listeners FindLstn reports (entry by entry), and its status.
    std::vector<bus::Addr4882> listeners;
    Outcome findOutcome;
    I timeout = bus::T1s;
    I boardAddress = 0; // what ibask(0, IbaPAD) answers
    std::string advice; // what startupAdvice says
    std::deque<unsigned char> pollBytes;
    // When not negative, the count every write reports instead of its length.
    I writeCount = -1;
    std::vector<std::string> calls;

    I RegisterGpibGlobalsForThread(I* sta, I* err, I* cnt, I* cntl) override {
        calls.push_back("RegisterGpibGlobalsForThread");
        const I result = take(registerResults);
        if (result == 0 || result == 1) {
            globals_.unregisterThread();
            globals_.registerThread(sta, err, cnt, cntl);
        }
        return result;
    }
    I UnregisterGpibGlobalsForThread() override {
        calls.push_back("UnregisterGpibGlobalsForThread");
        return globals_.unregisterThread();
    }
    void SendIFC(I board) override { finish("SendIFC", {board}); }
    I ibsre(I ud, I v) override { return finish("ibsre", {ud, v}); }
    void FindLstn(I board, const bus::Addr4882* padlist, bus::Addr4882* resultlist,
                  I limit) override {
        std::string probes;
        for (const bus::Addr4882* p = padlist; *p != bus::NOADDR; ++p)
            probes.append(std::to_string(*p)).append(" ");
        const auto n = std::min<std::size_t>(listeners.size(), static_cast<std::size_t>(limit));
        std::copy_n(listeners.begin(), n, resultlist);
        finish("FindLstn", {board}, probes.append(",").append(std::to_string(limit)),
               static_cast<I>(n), &findOutcome);
    }
    I ibdev(I board, I pad, I sad, I tmo, I eot, I eos) override {
        timeout = tmo;
        finish("ibdev", {board, pad, sad, tmo, eot, eos});
        return 32;
    }
    I ibpad(I ud, I pad) override { return finish("ibpad", {ud, pad}); }
    I ibtmo(I ud, I tmo) override { return timeout = tmo, finish("ibtmo", {ud, tmo}); }
    I ibask(I ud, I option, I* value) override {
        *value = ud == 0 && option == bus::IbaPAD ? boardAddress : timeout;
        return finish("ibask", {ud, option});
    }
    I ibwait(I ud, I mask) override { return finish("ibwait", {ud, mask}); }
    I ibwrt(I ud, const void* buf, I cnt) override {
        const std::string text(static_cast<const char*>(buf), static_cast<std::size_t>(cnt));
        return finish("ibwrt", {ud}, text, writeCount >= 0 ? writeCount : cnt);
    }
    I ibrd(I ud, void* buf, I cnt) override {
        const Chunk chunk = take(reads, Chunk{"", bus::ERR | bus::TIMO, bus::EABO});
        const auto n = std::min<std::size_t>(chunk.bytes.size(), static_cast<std::size_t>(cnt));
        std::memcpy(buf, chunk.bytes.data(), n);
        const Outcome outcome{chunk.sta, chunk.err};
        return finish("ibrd", {ud, cnt}, {}, chunk.count >= 0 ? chunk.count : static_cast<I>(n),
                      &outcome);
    }
    I ibrsp(I ud, char* spr) override {
        return spr[0] = static_cast<char>(take(pollBytes)), finish("ibrsp", {ud});
    }
    void DevClear(I board, bus::Addr4882 address) override { finish("DevClear", {board, address}); }
    I ibclr(I ud) override { return finish("ibclr", {ud}); }
    I ibonl(I ud, I v) override { return finish("ibonl", {ud, v}); }
    I ibwrtfA(I ud, const char* filename) override { return finish("ibwrtfA", {ud}, filename); }
    I ibrdfA(I ud, const char* filename) override { return finish("ibrdfA", {ud}, filename); }
    std::string startupAdvice(I, I) override { return advice; }

    // Calls whose text starts with prefix.
    int count(const std::string& prefix) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(),
                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }

private:
    // Records "op(args[,text])" and publishes the next scripted outcome with count cnt.
    I finish(const char* op, std::initializer_list<I> args, const std::string& text = {}, I cnt = 0,
             const Outcome* outcome = nullptr) {
        std::string call = std::string(op) + '(';
        for (const I a : args)
            call.append(std::to_string(a)).append(",");
        call.append(text);
        if (text.empty()) call.pop_back();
        calls.push_back(call.append(")"));
        const Outcome o = outcome != nullptr ? *outcome : take(outcomes);
        return globals_.publish(o.sta, o.err, cnt);
    }

    template <class T> T take(std::deque<T>& queue, T otherwise = {}) {
        if (queue.empty()) return otherwise;
        T front = std::move(queue.front());
        return queue.pop_front(), front;
    }

    bus::ThreadGlobals globals_;
};

// A console's bus session on a scripted driver, with scripted boxes and an
// end of the program that throws.
struct ScriptedSession {
    ScriptedDriver driver;
    ScriptedMessageBoxes boxes;
    ThrowingExit exit;
    bus::BusSession s{driver, boxes, exit};
};

} // namespace testing_support
