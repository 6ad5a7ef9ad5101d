#include "bus/drivers/DriverChoice.h"

#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TraceDriver.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace bus {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::optional<DriverKind> parseDriverKind(std::string_view text) {
    if (equalsIgnoringCase(text, "auto")) return DriverKind::Auto;
    if (equalsIgnoringCase(text, "sim")) return DriverKind::Sim;
    if (equalsIgnoringCase(text, "gpib")) return DriverKind::Gpib;
    return std::nullopt;
}

DriverSelection selectDriver(DriverKind kind, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed) {
    DriverSelection s;
    if (kind != DriverKind::Sim) {
        GpibLoadResult library = GpibLibrary::load();
        if (library.driver) {
            s.description = "GPIB library " + library.driver->libraryName();
            s.driver = std::move(library.driver);
        } else if (kind == DriverKind::Gpib) {
            s.error = "GPIB library not available: " + library.error;
            return s;
        } else {
            s.notes.push_back("GPIB library not used: " + library.error +
                              "; running on the simulated bench");
        }
    }
    if (!s.driver) {
        s.driver = SimulatedBus::defaultBench();
        if (!s.driver) {
            s.error = "the simulated bench could not be built";
            return s;
        }
        s.simulated = true;
        s.description = "simulated bench";
    }
    if (!tracePath.empty()) {
        TraceOpenResult traced =
            TraceDriver::open(std::move(s.driver), tracePath, std::move(traceWriteFailed));
        s.driver = std::move(traced.driver);
        if (traced.error.empty())
            s.description += ", I/O trace to " + tracePath;
        else
            s.notes.push_back("trace disabled: " + traced.error);
    }
    return s;
}

} // namespace bus
