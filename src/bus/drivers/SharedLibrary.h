#pragma once

#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

namespace bus {

class SharedLibrary;

struct SharedLibraryOpenResult {
    std::unique_ptr<SharedLibrary> library; // null exactly when error is set
    std::string error;                      // the library's name and the loader's reason
};

// A library loaded at run time, unloaded when this object goes. A thin layer
// over dlopen / LoadLibraryExW so the bus layer needs nothing else.
class SharedLibrary {
public:
    // Any function's address; cast to the real type before calling.
    using Symbol = void (*)();

    // An explicit file, or a bare name found by the platform's usual search.
    static SharedLibraryOpenResult open(const std::string& path);
    // A bare name looked up only in the system folder (Windows), so a DLL
    // planted in the current or the program's folder is never picked up.
    // Elsewhere the same as open().
    static SharedLibraryOpenResult openSystem(const std::string& name);

    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Null when the library does not export the name.
    Symbol symbol(const char* name) const;
    const std::string& name() const { return name_; }

private:
    SharedLibrary(void* handle, std::string name) : handle_(handle), name_(std::move(name)) {}

    void* handle_;
    std::string name_;
};

// One function a back end calls, by its exported name, and where in the
// back end's table of function pointers it goes: {"ibwrt", &setEntry<&Api::ibwrt>}.
template <class Table> struct EntryPoint {
    const char* name;
    void (*assign)(Table&, SharedLibrary::Symbol);
};

template <auto Member, class Table> void setEntry(Table& table, SharedLibrary::Symbol symbol) {
    table.*Member = reinterpret_cast<std::remove_reference_t<decltype(table.*Member)>>(symbol);
}

// Fills `table` with every entry point, so a library that lacks one is
// refused as a whole instead of failing at the first call. "" when all are
// there, else what is missing, naming the library.
template <class Table>
std::string bindEntryPoints(const SharedLibrary& library, Table& table,
                            std::span<const EntryPoint<Table>> entryPoints) {
    for (const EntryPoint<Table>& entryPoint : entryPoints) {
        SharedLibrary::Symbol symbol = library.symbol(entryPoint.name);
        if (!symbol)
            return library.name() + " does not export " + entryPoint.name +
                   ", which this program needs";
        entryPoint.assign(table, symbol);
    }
    return {};
}

} // namespace bus
