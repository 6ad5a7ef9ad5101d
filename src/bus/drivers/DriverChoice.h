#pragma once

#include "bus/Driver.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

// Which back end the console starts with: the GPIB library when it loads
// (else the simulated bench), always the bench, or only the library.
enum class DriverKind { Auto, Sim, Gpib };

// "auto", "sim" or "gpib" in any letter case; anything else is nullopt.
std::optional<DriverKind> parseDriverKind(std::string_view text);

struct DriverSelection {
    // The driver to use; null exactly when error is set.
    std::unique_ptr<Driver> driver;
    bool simulated = false;
    // One line for the operator: which back end, and the trace file if any.
    std::string description;
    // Things the operator should know that did not stop the start: why the
    // library was passed over, why the trace is off.
    std::vector<std::string> notes;
    // Why no driver could be had; the console cannot start.
    std::string error;
};

// Picks and builds the back end. A non-empty tracePath wraps it in the I/O
// trace; when that file cannot be opened the driver runs untraced and a note
// says why. traceWriteFailed hears once about a trace write failing later.
DriverSelection selectDriver(DriverKind kind, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed = {});

} // namespace bus
