#pragma once

#include "bus/Binding.h"
#include "bus/DeviceTable.h"
#include "platform/MessageBoxes.h"

#include <functional>
#include <string>

namespace bus {

// Everything the bus routines share for one console: the binding with its
// status words, the device table and ErrorFlag, plus the desktop seams they
// report through. Owned by the window (or a test), passed by reference.
struct BusSession {
    BusSession(Driver& driver, platform::MessageBoxes& boxes, platform::ProgramExit& exit)
        : binding(driver), boxes(boxes), exit(exit) {}

    Binding binding;
    DeviceTable devices;
    // Set when a bus failure was reported (and the operator went on) or a
    // syntax error was found; while it is set no answer is read.
    bool ErrorFlag = false;
    // The bytes of the answer being read, kept from one read to the next so
    // a large answer does not start in fresh memory.
    std::string answerBytes;
    // Whether the operator asked to stop the running operation; routines
    // that ask one device after another end there. None: never.
    std::function<bool()> stopRequested;

    platform::MessageBoxes& boxes;
    platform::ProgramExit& exit;
};

// Exit codes of the terminating errors.
inline constexpr int kExitBusError = 1;
inline constexpr int kExitInitializationError = 2;
inline constexpr int kExitDeviceNotConfigured = 3;

} // namespace bus
