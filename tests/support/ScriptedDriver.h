#pragma once

#include "bus/Driver.h"

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

// A driver whose every outcome a test sets by hand, recording each call as
// text ("ibpad(32,5)"). Statuses go to the registered variables exactly as a
// real driver's would; nothing is written while none are registered.
class ScriptedDriver : public bus::Driver {
public:
    struct Outcome {
        std::int32_t sta = 0;
        std::int32_t err = 0;
    };
    struct Chunk {
        std::string bytes;
        std::int32_t sta = bus::END;
        std::int32_t err = 0;
    };

    // Registration results to hand out, in order; 0 when the list is empty.
    std::deque<std::int32_t> registerResults;
    // Outcome of the next call of any kind; the default is success.
    std::deque<Outcome> outcomes;
    // What successive reads deliver; an empty list means a time-out.
    std::deque<Chunk> reads;
    // Listeners FindLstn reports (entry by entry), and its status.
    std::vector<bus::Addr4882> listeners;
    Outcome findOutcome;
    std::int32_t descriptor = 32;
    std::int32_t timeout = bus::T1s;
    std::deque<unsigned char> pollBytes;
    // When not negative, the count every write reports instead of its length.
    std::int32_t writeCount = -1;
    std::vector<std::string> calls;
    std::vector<std::string> written;

    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* sta, std::int32_t* err,
                                              std::int32_t* cnt, std::int32_t* cntl) override;
    std::int32_t UnregisterGpibGlobalsForThread() override;
    void SendIFC(std::int32_t board) override;
    std::int32_t ibsre(std::int32_t ud, std::int32_t v) override;
    void FindLstn(std::int32_t board, const bus::Addr4882* padlist, bus::Addr4882* resultlist,
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
    void DevClear(std::int32_t board, bus::Addr4882 address) override;
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override;
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) override;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) override;

    // Calls whose text starts with prefix.
    int count(const std::string& prefix) const;

private:
    std::int32_t finish(std::string call, std::int32_t cnt = 0);
    std::int32_t publish(std::int32_t sta, std::int32_t err, std::int32_t cnt);

    std::int32_t* sta_ = nullptr;
    std::int32_t* err_ = nullptr;
    std::int32_t* cnt_ = nullptr;
    std::int32_t* cntl_ = nullptr;
};

} // namespace testing_support
