#include "bus/Discovery.h"

#include "bus/BusErrors.h"

#include <array>
#include <string>

namespace bus {
namespace {
constexpr int kProbeEntries = 33;
constexpr std::int16_t kResultLimit = kMaxDevices + 1;
} // namespace

void FindListeners(BusSession& s) {
    auto& found = s.devices.ListenerAddresses;
    found.fill(0);

    // Entry 0 probes the board's own address; 1-30 every device address.
    std::array<std::int16_t, kProbeEntries> probes{};
    for (std::int16_t a = 1; a <= 30; ++a) probes[a] = a;
    probes[31] = static_cast<std::int16_t>(NOADDR);

    s.binding.SendIFC(0);
    s.binding.ibsre(0, 1);
    s.binding.FindLstn(0, probes.data(), found.data(), kResultLimit);

    if ((s.binding.ibsta & ERR) == 0) {
        // The board hears its own address wherever it sits in the probe
        // order (or not at all): only the other entries are instruments.
        const std::array<std::int16_t, kMaxDevices + 1> results = found;
        const auto board = static_cast<std::int16_t>(s.binding.ibask(0, IbaPAD) & 0xFF);
        found.fill(0);
        std::int16_t count = 0;
        for (const std::int16_t entry : results) {
            if ((entry & 0xFF) == board) continue;
            if (entry == 0 || count == kMaxDevices) break;
            found[static_cast<std::size_t>(++count)] = entry;
        }
        found[0] = count;
        return;
    }

    const std::int16_t code = s.binding.iberr;
    const std::u16string advice = s.binding.startupAdvice();
    std::u16string text;
    // linux-gpib reports the empty bus as ENOL.
    if (code == EBUS || code == ENOL) text = u"No listeners found.";
    if (code == ETAB) text = u"Too many listeners found.\nMax 14 listeners allowed.";
    if (!advice.empty()) text += (text.empty() ? u"" : u"\n") + advice;
    text += u"\n\nCorrect problem and restart.";
    const std::string digits = std::to_string(code);
    s.boxes.show(text, u"Initialization Error " + std::u16string(digits.begin(), digits.end()),
                 platform::Buttons::Ok, platform::Icon::Critical);
    s.exit.endProgram(kExitInitializationError);
}

std::int16_t OpenDevice(BusSession& s) {
    Binding& b = s.binding;
    DeviceTable& t = s.devices;
    const std::int16_t ud = b.ibdev(0, 1, 0, T1s, 1, 0);
    // One poll per device clears any service request left from before.
    for (int k = 1; k <= t.count(); ++k) {
        b.ibpad(ud, t.ListenerAddresses[k]);
        b.ibrsp(ud);
    }
    b.ibpad(ud, t.ListenerAddresses[1]);
    t.ButtonHandles[1] = ud;
    b.ibtmo(ud, t.TimeoutCode);
    ReportBusError(s);
    return ud;
}

} // namespace bus
