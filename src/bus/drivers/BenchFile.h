#pragma once

#include "bus/drivers/ReplayBus.h"
#include "bus/drivers/SimulatedBus.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

// A simulated bench described by a file in pyvisa-sim's YAML format
// (versions 1.x up to 1.1, as pyvisa-sim reads them): devices with their
// dialogues, properties, channels, error answers, status registers and error
// queues, bound to resource names. Each GPIB instrument resource on board 0
// (GPIB0::<address>::INSTR, GPIB::<address>::INSTR, GPIB0::<address>) becomes
// an instrument at that address; other resources (serial, USB, LAN,
// secondary addresses, devices in other files) are passed over with a note.
// The key under which a bench file states its format version, as the format
// names it: the first line of a file reads `<key>: "1.1"`.
inline constexpr std::string_view kBenchVersionKey = "spec";

struct BenchLoad {
    std::unique_ptr<SimulatedBus> bus; // null exactly when error is set
    std::vector<std::string> notes;
    // "FILE:LINE: what is wrong"
    std::string error;
};

BenchLoad loadBenchFile(const std::string& path);
// The same from the file's text; `name` stands for the file in messages.
BenchLoad readBench(std::string_view text, const std::string& name);

// A recording's dialogues as a bench file that answers each recorded write as
// the recording first answered it (one device per listener, "device <address>").
std::string benchYaml(const Recording& recording);
// Writes benchYaml to path, replacing the file only once the new one is
// whole; the error, or "" when it is written.
std::string saveBenchYaml(const Recording& recording, const std::string& path);

} // namespace bus
