#include "core/SyntaxCheck.h"

#include "bus/BusErrors.h"
#include "bus/DeviceIo.h"

namespace syntaxcheck {

namespace {
constexpr std::int16_t kWaitMask = static_cast<std::int16_t>(bus::TIMO | bus::RQS);
} // namespace

std::int16_t SelectedMethod(const DeviceSyntaxMethodTable& methods,
                            const bus::DeviceTable& devices) {
    const int index = devices.SelectedDeviceIndex;
    if (index <= 0 || index > bus::kMaxDevices) return kNoMethod;
    return methods[static_cast<std::size_t>(index)];
}

int PreWriteClearing(bus::BusSession& s, std::int16_t method) {
    bus::Binding& b = s.binding;
    const std::int16_t dev = s.devices.DeviceHandle;
    if (method == kStatusRegistersMethod) b.ibwrt(dev, u"*CLS");
    int polls = 0;
    while (polls < kClearingPolls) {
        ++polls;
        if (b.ibrsp(dev) == 0) break;
    }
    return polls;
}

bool isSyntaxError(std::int16_t method, std::int16_t statusByte) {
    // Older instruments set bit 0 beside RQS and ESB; 488.2 ones report the
    // command error through ESB, with MAV when an answer is also waiting.
    if (method == kSerialPollMethod) return statusByte == 97 || statusByte == 113;
    return statusByte == 96 || statusByte == 112;
}

bool CheckSyntax(bus::BusSession& s, std::int16_t dev, std::int16_t method) {
    if (dev == 0) bus::ReportDeviceNotConfigured(s);
    bus::Binding& b = s.binding;
    // Bound the wait whatever the standing time-out, so an accepted command
    // costs only a short delay.
    bus::TimeoutScope shortWait(b, dev, bus::T300ms, false, false);
    b.ibwait(dev, kWaitMask);
    shortWait.restore();
    return isSyntaxError(method, b.ibrsp(dev));
}

void SetUpStatusRegisters(bus::BusSession& s) {
    bus::Binding& b = s.binding;
    const bus::DeviceTable& t = s.devices;
    b.DevClear(0, t.SelectedAddress);
    const std::int16_t dev = t.ButtonHandles[1];
    b.ibwrt(dev, u"DESE 32");
    b.ibwrt(dev, u"*ESE 32");
    b.ibwrt(dev, u"*SRE 48");
}

} // namespace syntaxcheck
