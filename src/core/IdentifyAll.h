#pragma once

#include "bus/BusSession.h"

#include <cstddef>
#include <functional>
#include <string>

namespace devices {

// Which identification queries go out, and the line ends they carry.
struct IdQueries {
    bool id = false;  // "ID?"
    bool idn = false; // "*IDN?"
    bool addCR = false;
    bool addLF = false;
};

// The answer buffer of one device, and the most one read delivers.
inline constexpr std::size_t kIdAnswerLength = 512;

// Asks every device found, the last first, who it is: "ID?" or "*IDN?", or,
// with both chosen, "*IDN?" when "ID?" brought nothing. Each device gets at
// most 300 ms per query and then its standing time-out back. `print` is
// called once per device with SelectedAddress set to it, with the answer
// without line ends or "No response"; afterwards SelectedAddress and the
// descriptor's address are as before. SelectedDeviceIndex is not touched.
// A stop ends it at the device being asked, which gets no line.
void IdentifyAll(bus::BusSession& s, const IdQueries& queries,
                 const std::function<void(const std::u16string&)>& print);

// The text shown for one device's answer: no spaces at either end and no line
// ends anywhere.
std::u16string identificationText(std::u16string answer);

} // namespace devices
