#include "bus/drivers/SharedLibrary.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace bus {

namespace {

SharedLibraryOpenResult failure(const std::string& name, const std::string& reason) {
    return {nullptr, name + " could not be loaded: " + reason};
}

#ifdef _WIN32

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length ? std::string(text, length) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

#endif

} // namespace

#ifdef _WIN32

SharedLibraryOpenResult SharedLibrary::open(const std::string& path) {
    // An explicit path's own folder serves its dependencies; a bare name
    // keeps the default search.
    const bool qualified = path.find_first_of("\\/") != std::string::npos;
    HMODULE module = LoadLibraryExW(
        widen(path).c_str(), nullptr,
        qualified ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS : 0);
    if (!module) return failure(path, lastErrorText());
    return {std::unique_ptr<SharedLibrary>(new SharedLibrary(module, path)), {}};
}

SharedLibraryOpenResult SharedLibrary::openSystem(const std::string& name) {
    HMODULE module = LoadLibraryExW(widen(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return failure(name, lastErrorText() + " (searched the system folder only)");
    return {std::unique_ptr<SharedLibrary>(new SharedLibrary(module, name)), {}};
}

SharedLibrary::~SharedLibrary() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

SharedLibrary::Symbol SharedLibrary::symbol(const char* name) const {
    // Through Symbol, the generic function type, so no cast names two
    // unrelated function types.
    return reinterpret_cast<Symbol>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

SharedLibraryOpenResult SharedLibrary::open(const std::string& path) {
    // RTLD_LOCAL keeps the library's names out of later lookups by other
    // libraries; RTLD_NOW reports an unresolvable dependency here, not at
    // the first call.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        std::string reason = text ? text : "unknown reason";
        // dlerror starts with the name the message already begins with.
        if (reason.starts_with(path + ": ")) reason.erase(0, path.size() + 2);
        return failure(path, reason);
    }
    return {std::unique_ptr<SharedLibrary>(new SharedLibrary(handle, path)), {}};
}

SharedLibraryOpenResult SharedLibrary::openSystem(const std::string& name) {
    return open(name);
}

SharedLibrary::~SharedLibrary() {
    dlclose(handle_);
}

SharedLibrary::Symbol SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<Symbol>(dlsym(handle_, name));
}

#endif

} // namespace bus
