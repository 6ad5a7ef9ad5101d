#pragma once

#include "bus/Driver.h"
#include "bus/drivers/SharedLibrary.h"

#ifndef _WIN32
#include "bus/drivers/ThreadGlobals.h"
#endif

#include <cstdint>
#include <memory>
#include <string>

namespace bus {

class GpibLibrary;

struct GpibLoadResult {
    std::unique_ptr<GpibLibrary> driver; // null exactly when error is set
    std::string error;                   // names the library or the missing function, and why
};

// The system's NI-488.2 compatible library, loaded by name at run time so the
// program builds and starts without it. On Windows that is NI's Gpib-32.dll,
// taken from the system folder only; elsewhere linux-gpib's libgpib.so.0,
// whose status lives in per-thread functions, so the per-thread variables are
// kept here and filled after every call. The library stays loaded for the
// life of this object.
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
    std::int32_t ibonl(std::int32_t ud, std::int32_t v) override;
    std::int32_t ibwrtfA(std::int32_t ud, const char* filename) override;
    std::int32_t ibrdfA(std::int32_t ud, const char* filename) override;

private:
    struct Api; // the library's entry points

    GpibLibrary(std::unique_ptr<SharedLibrary> library, std::unique_ptr<const Api> api);
    static GpibLoadResult bind(SharedLibraryOpenResult opened);
    // The status word after a library call, once the calling thread's
    // registered variables (if any) hold the call's outcome.
    std::int32_t finish(int status);
    // The same after a call that returns no status word.
    void settle();

    // Declared first so it is unloaded last, after nothing can call into it.
    std::unique_ptr<SharedLibrary> library_;
    std::unique_ptr<const Api> api_;
#ifndef _WIN32
    ThreadGlobals globals_;
#endif
};

} // namespace bus
