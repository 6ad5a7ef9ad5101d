#pragma once

#include "bus/Driver.h"
#include "bus/drivers/SharedLibrary.h"
#include "bus/drivers/ThreadGlobals.h"

#include <cstdint>
#include <memory>
#include <string>

namespace bus {

class GpibLibrary;

struct GpibLoadResult {
    std::unique_ptr<GpibLibrary> driver; // null exactly when error is set
    std::string error;                   // names the library or the missing function, and why
};

// What sets one NI-488.2 compatible library apart. Each library has its own
// file under gpib/, and the build compiles the one for its platform: NI's
// Gpib-32.dll for 32-bit Windows, NI's ni4882.dll for 64-bit Windows,
// linux-gpib's libgpib.so.0 elsewhere.
struct GpibFlavour {
    const char* library;   // looked up in the system folder only
    const char* writeFile; // the names of ibwrtf and ibrdf in this library
    const char* readFile;
    // The library writes variables each thread registers with it
    // (RegisterGpibGlobalsForThread); otherwise each thread reads its status
    // back through ThreadIbsta, ThreadIberr and ThreadIbcntl.
    bool registersGlobals;
    // What the operator should fix after a start-up call failed with iberr
    // (ibcntl holds the system's error code after EDVR); "" when the code
    // says it all.
    std::string (*startupAdvice)(std::int32_t iberr, std::int32_t ibcntl);
};
const GpibFlavour& gpibFlavour();

// The system's NI-488.2 compatible library, loaded by name at run time so the
// program builds and starts without it. A library that reports status per
// thread through functions gets the per-thread variables kept here, filled
// after every call. The library stays loaded for the life of this object.
class GpibLibrary final : public Driver {
public:
    static GpibLoadResult load();
    // An explicit file, used the same way as the system library.
    static GpibLoadResult load(const std::string& path);

    ~GpibLibrary() override;
    GpibLibrary(const GpibLibrary&) = delete;
    GpibLibrary& operator=(const GpibLibrary&) = delete;

    std::string libraryName() const;

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
    std::string startupAdvice(std::int32_t iberr, std::int32_t ibcntl) override;

private:
    struct Api; // the library's entry points

    GpibLibrary(std::unique_ptr<SharedLibrary> library, std::unique_ptr<const Api> api);
    static GpibLoadResult bind(SharedLibraryOpenResult opened);
    // The status word after a library call, once the calling thread's
    // registered variables (if any) hold the call's outcome; count, when
    // not negative, stands for the library's own.
    std::int32_t finish(int status, std::int64_t count = -1);
    // The same after a call that returns no status word.
    void settle();

    const GpibFlavour& flavour_;
    // Declared before the entry points so it is unloaded last, after nothing
    // can call into it.
    std::unique_ptr<SharedLibrary> library_;
    std::unique_ptr<const Api> api_;
    ThreadGlobals globals_;
};

} // namespace bus
