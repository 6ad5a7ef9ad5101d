#include "bus/BusErrors.h"

#include "bus/AsciiText.h"

#include <string>

namespace bus {

std::u16string BusErrorText(std::int16_t iberr) {
    switch (iberr) {
    case 0: return u"Operating system error.";
    case 1: return u"Function requires GPIB board to be CIC.";
    case 2: return u"No listener on write function.";
    case 3: return u"GPIB board not addressed correctly.";
    case 4: return u"Invalid argument to function call.";
    case 5: return u"GPIB board not system controller as required.";
    case 6: return u"I/O operation aborted - timeout.";
    case 7: return u"Non-existent GPIB board.";
    case 10: return u"Asynchronous I/O in progress.";
    case 11: return u"No capability for operation.";
    case 12: return u"File system error.";
    case 14: return u"GPIB bus eror.";
    case 15: return u"Serial poll status queue owerflow.";
    case 16: return u"SRQ stuck in on position.";
    case 20: return u"Table problem.";
    default: return u"Unknown error.";
    }
}

void ReportBusError(BusSession& s) {
    if ((s.binding.ibsta & ERR) == 0) return;
    const std::int16_t code = s.binding.iberr;
    const std::u16string text =
        BusErrorText(code) + u"\nSelect OK to continue or Cancel to terminate program.";
    const platform::Answer answer =
        s.boxes.show(text, u"GPIB ERROR # " + decimal(code), platform::Buttons::OkCancel,
                     platform::Icon::Exclamation);
    if (answer == platform::Answer::Cancel) s.exit.endProgram(kExitBusError);
    s.ErrorFlag = true;
}

void ReportDeviceNotConfigured(BusSession& s) {
    s.boxes.show(u"Device not configured.\n\nCorrect problem and restart.", u"Device Error",
                 platform::Buttons::Ok, platform::Icon::Critical);
    s.exit.endProgram(kExitDeviceNotConfigured);
}

} // namespace bus
