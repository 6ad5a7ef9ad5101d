#pragma once

#include "bus/Driver.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

// What a back end's factory made: the driver, or why there is none.
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
    // Saves the bench as a pyvisa-sim file (the error, or "" when saved);
    // empty when the back end has no bench to save.
    std::function<std::string(const std::string& path)> saveBench;
};

// What a factory is given: the text after "NAME:", and for a decorator the
// selection it wraps.
struct BackEndRequest {
    std::string args;
    DriverSelection inner;
    std::function<void(const std::string&)> traceWriteFailed;
};

// One row of the back-end table. Adding a back end is one file under
// bus/drivers/ and one row here.
struct BackEnd {
    std::string_view name;
    // "" for a back end without arguments, else how they are written.
    std::string_view argumentForm;
    std::string_view help;
    // A decorator wraps the back end chosen with --driver (the I/O trace,
    // chosen with --trace) and cannot be chosen on its own.
    bool decorator = false;
    DriverSelection (*make)(BackEndRequest& request) = nullptr;
    // The arguments may be left out (NAME alone).
    bool argumentsOptional = false;
};

std::span<const BackEnd> backEnds();

// The table as `vireon --driver help` prints it.
std::string backEndList();

// A back end chosen by "NAME[:ARGS]" (the name in any letter case).
struct BackEndChoice {
    const BackEnd* backEnd = nullptr;
    std::string args;
};

// The row and arguments, or nullopt with `error` saying what is wrong.
std::optional<BackEndChoice> parseBackEndChoice(std::string_view text, std::string& error);

// Builds the chosen back end. A non-empty tracePath wraps it in the I/O
// trace; when that file cannot be opened the driver runs untraced and a note
// says why. traceWriteFailed hears once about a trace write failing later.
DriverSelection selectDriver(const BackEndChoice& choice, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed = {});

// The same by name, for callers that hold only the text.
DriverSelection selectDriver(std::string_view choice, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed = {});

// A bench file ending in ".jsonl" (in any letter case) is a recorded I/O
// trace, run by the replay back end; any other is a bench definition.
bool isRecordedTrace(std::string_view path);

} // namespace bus
