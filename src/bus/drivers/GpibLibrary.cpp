#include "bus/drivers/GpibLibrary.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

// NI's 32-bit DLL uses the Windows API convention (NI488CC); x86-64 and
// Linux have a single convention, where the keyword changes nothing.
#if defined(_WIN32) && !defined(_WIN64)
#define VIREON_GPIB_CALL __stdcall
#else
#define VIREON_GPIB_CALL
#endif

namespace bus {

// The Driver's 32-bit integers are the libraries' int, so int arguments and
// int* results pass through unchanged.
static_assert(std::is_same_v<std::int32_t, int>);

// Pointer parameters are declared const where the library only reads through
// them; NI's header leaves some of those const off, which changes nothing in
// the call.
struct GpibLibrary::Api {
    // NI declares the long count as long*; on Windows, the only place it is
    // used, long is 32 bits.
    int(VIREON_GPIB_CALL* RegisterGpibGlobalsForThread)(int*, int*, int*, long*) = nullptr;
    int(VIREON_GPIB_CALL* UnregisterGpibGlobalsForThread)() = nullptr;
    int(VIREON_GPIB_CALL* ThreadIbsta)() = nullptr;
    int(VIREON_GPIB_CALL* ThreadIberr)() = nullptr;
    long(VIREON_GPIB_CALL* ThreadIbcntl)() = nullptr;
    void(VIREON_GPIB_CALL* SendIFC)(int board);
    int(VIREON_GPIB_CALL* ibsre)(int ud, int v);
    void(VIREON_GPIB_CALL* FindLstn)(int board, const Addr4882* padList, Addr4882* resultList,
                                     int limit);
    int(VIREON_GPIB_CALL* ibdev)(int board, int pad, int sad, int tmo, int eot, int eos);
    int(VIREON_GPIB_CALL* ibpad)(int ud, int v);
    int(VIREON_GPIB_CALL* ibtmo)(int ud, int v);
    int(VIREON_GPIB_CALL* ibask)(int ud, int option, int* value);
    int(VIREON_GPIB_CALL* ibwait)(int ud, int mask);
    int(VIREON_GPIB_CALL* ibwrt)(int ud, const void* buf, long count);
    int(VIREON_GPIB_CALL* ibrd)(int ud, void* buf, long count);
    int(VIREON_GPIB_CALL* ibrsp)(int ud, char* spr);
    void(VIREON_GPIB_CALL* DevClear)(int board, Addr4882 address);
    int(VIREON_GPIB_CALL* ibclr)(int ud);
    int(VIREON_GPIB_CALL* ibonl)(int ud, int v);
    int(VIREON_GPIB_CALL* ibwrtf)(int ud, const char* fileName);
    int(VIREON_GPIB_CALL* ibrdf)(int ud, const char* fileName);
};

GpibLoadResult GpibLibrary::load() {
    return bind(SharedLibrary::openSystem(gpibFlavour().library));
}

GpibLoadResult GpibLibrary::load(const std::string& path) {
    return bind(SharedLibrary::open(path));
}

GpibLoadResult GpibLibrary::bind(SharedLibraryOpenResult opened) {
    if (!opened.library) return {nullptr, std::move(opened.error)};
    const GpibFlavour& flavour = gpibFlavour();

    // Every entry point the back end calls.
    std::vector<EntryPoint<Api>> entryPoints = {
        {flavour.writeFile, &setEntry<&Api::ibwrtf>},
        {flavour.readFile, &setEntry<&Api::ibrdf>},
        {"SendIFC", &setEntry<&Api::SendIFC>},
        {"ibsre", &setEntry<&Api::ibsre>},
        {"FindLstn", &setEntry<&Api::FindLstn>},
        {"ibdev", &setEntry<&Api::ibdev>},
        {"ibpad", &setEntry<&Api::ibpad>},
        {"ibtmo", &setEntry<&Api::ibtmo>},
        {"ibask", &setEntry<&Api::ibask>},
        {"ibwait", &setEntry<&Api::ibwait>},
        {"ibwrt", &setEntry<&Api::ibwrt>},
        {"ibrd", &setEntry<&Api::ibrd>},
        {"ibrsp", &setEntry<&Api::ibrsp>},
        {"DevClear", &setEntry<&Api::DevClear>},
        {"ibclr", &setEntry<&Api::ibclr>},
        {"ibonl", &setEntry<&Api::ibonl>},
    };
    if (flavour.registersGlobals) {
        entryPoints.push_back(
            {"RegisterGpibGlobalsForThread", &setEntry<&Api::RegisterGpibGlobalsForThread>});
        entryPoints.push_back(
            {"UnregisterGpibGlobalsForThread", &setEntry<&Api::UnregisterGpibGlobalsForThread>});
    } else {
        entryPoints.push_back({"ThreadIbsta", &setEntry<&Api::ThreadIbsta>});
        entryPoints.push_back({"ThreadIberr", &setEntry<&Api::ThreadIberr>});
        entryPoints.push_back({"ThreadIbcntl", &setEntry<&Api::ThreadIbcntl>});
    }

    auto api = std::make_unique<Api>();
    if (std::string missing = bindEntryPoints<Api>(*opened.library, *api, entryPoints);
        !missing.empty())
        return {nullptr, missing};
    return {
        std::unique_ptr<GpibLibrary>(new GpibLibrary(std::move(opened.library), std::move(api))),
        {}};
}

GpibLibrary::GpibLibrary(std::unique_ptr<SharedLibrary> library, std::unique_ptr<const Api> api)
    : flavour_(gpibFlavour()), library_(std::move(library)), api_(std::move(api)) {}

GpibLibrary::~GpibLibrary() = default;

std::string GpibLibrary::libraryName() const {
    return library_->name();
}

std::string GpibLibrary::startupAdvice(std::int32_t iberr, std::int32_t ibcntl) {
    return flavour_.startupAdvice(iberr, ibcntl);
}

std::int32_t GpibLibrary::finish(int status, std::int64_t count) {
    // NI's registering library has already written the registered variables.
    if (flavour_.registersGlobals) return status;
    // The others keep each thread's status themselves; the status word is the
    // value the call returned. A long count is cut to 32 bits, as NI's own
    // 32-bit long count would hold it.
    return globals_.publish(status, api_->ThreadIberr(),
                            static_cast<std::int32_t>(count >= 0 ? count : api_->ThreadIbcntl()));
}

void GpibLibrary::settle() {
    if (!flavour_.registersGlobals) finish(api_->ThreadIbsta());
}

std::int32_t GpibLibrary::RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                       std::int32_t* ibcnt, std::int32_t* ibcntl) {
    if (!flavour_.registersGlobals) return globals_.registerThread(ibsta, iberr, ibcnt, ibcntl);
    return api_->RegisterGpibGlobalsForThread(ibsta, iberr, ibcnt, reinterpret_cast<long*>(ibcntl));
}

std::int32_t GpibLibrary::UnregisterGpibGlobalsForThread() {
    if (!flavour_.registersGlobals) return globals_.unregisterThread();
    return api_->UnregisterGpibGlobalsForThread();
}

void GpibLibrary::SendIFC(std::int32_t board) {
    api_->SendIFC(board);
    settle();
}

std::int32_t GpibLibrary::ibsre(std::int32_t ud, std::int32_t v) {
    return finish(api_->ibsre(ud, v));
}

void GpibLibrary::FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                           std::int32_t limit) {
    api_->FindLstn(board, padlist, resultlist, limit);
    settle();
}

std::int32_t GpibLibrary::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    const int ud = api_->ibdev(board, pad, sad, tmo, eot, eos);
    settle();
    return ud;
}

std::int32_t GpibLibrary::ibpad(std::int32_t ud, std::int32_t pad) {
    return finish(api_->ibpad(ud, pad));
}

std::int32_t GpibLibrary::ibtmo(std::int32_t ud, std::int32_t tmo) {
    return finish(api_->ibtmo(ud, tmo));
}

std::int32_t GpibLibrary::ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) {
    return finish(api_->ibask(ud, option, value));
}

std::int32_t GpibLibrary::ibwait(std::int32_t ud, std::int32_t mask) {
    return finish(api_->ibwait(ud, mask));
}

std::int32_t GpibLibrary::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    return finish(api_->ibwrt(ud, buf, cnt));
}

std::int32_t GpibLibrary::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    return finish(api_->ibrd(ud, buf, cnt));
}

std::int32_t GpibLibrary::ibrsp(std::int32_t ud, char* spr) {
    return finish(api_->ibrsp(ud, spr));
}

void GpibLibrary::DevClear(std::int32_t board, Addr4882 address) {
    api_->DevClear(board, address);
    settle();
}

std::int32_t GpibLibrary::ibclr(std::int32_t ud) {
    return finish(api_->ibclr(ud));
}

std::int32_t GpibLibrary::ibonl(std::int32_t ud, std::int32_t v) {
    return finish(api_->ibonl(ud, v));
}

std::int32_t GpibLibrary::ibwrtfA(std::int32_t ud, const char* filename) {
    return finish(api_->ibwrtf(ud, filename));
}

std::int32_t GpibLibrary::ibrdfA(std::int32_t ud, const char* filename) {
    const int status = api_->ibrdf(ud, filename);
    // linux-gpib counts nothing when a read into a file times out, though
    // the bytes before the time-out are in the file: the file knows better.
    std::int64_t count = -1;
    if ((status & ERR) != 0 && (status & TIMO) != 0 && filename != nullptr) {
        std::error_code error;
        const auto size = std::filesystem::file_size(filename, error);
        if (!error) count = static_cast<std::int64_t>(std::min<std::uintmax_t>(size, INT32_MAX));
    }
    return finish(status, count);
}

} // namespace bus
