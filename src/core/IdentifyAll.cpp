#include "core/IdentifyAll.h"

#include "bus/DeviceIo.h"
#include "platform/TextTrim.h"

#include <algorithm>

namespace devices {

std::u16string identificationText(std::u16string answer) {
    answer = std::u16string(platform::trimSpaces(answer));
    std::erase(answer, u'\n');
    std::erase(answer, u'\r');
    // Line ends that stood between spaces leave those spaces at the ends.
    return std::u16string(platform::trimSpaces(answer));
}

void IdentifyAll(bus::BusSession& s, const IdQueries& queries,
                 const std::function<void(const std::u16string&)>& print) {
    bus::Binding& b = s.binding;
    bus::DeviceTable& t = s.devices;
    const bool both = queries.id && queries.idn;
    const std::int16_t remembered = t.SelectedAddress;
    // Once the operator stops it, the device being asked was quietened and
    // the rest are not asked, or they would be left holding answers.
    const auto stopped = [&s] { return s.stopRequested && s.stopRequested(); };

    std::u16string buffer;
    for (int i = t.count(); i >= 1; --i) {
        if (stopped()) break;
        buffer.assign(kIdAnswerLength, u' ');
        t.SelectedAddress = t.ListenerAddresses[static_cast<std::size_t>(i)];
        b.ibpad(t.DeviceHandle, t.SelectedAddress);
        // A silent device costs 300 ms per query instead of the standing 3 s.
        bus::TimeoutScope shortWait(b, t.DeviceHandle, bus::T300ms, t.TimeoutCode);

        bool answered = false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::u16string query =
                both ? (attempt == 0 ? u"ID?" : u"*IDN?") : (queries.id ? u"ID?" : u"*IDN?");
            if (queries.addCR) query += u'\r';
            if (queries.addLF) query += u'\n';
            // A failed write is reported; the wait and the read still decide.
            bus::WriteChecked(s, t.DeviceHandle, query);
            b.ibwait(t.DeviceHandle, static_cast<std::int16_t>(bus::TIMO | bus::CMPL));
            b.ibrd(t.DeviceHandle, buffer);
            if (stopped()) break;
            if ((b.ibsta & bus::TIMO) == 0) {
                answered = true;
                break;
            }
            if (!both) break;
        }

        if (stopped()) break;
        if (print) print(answered ? identificationText(buffer) : u"No response");
    }

    t.SelectedAddress = remembered;
    b.ibpad(t.DeviceHandle, t.SelectedAddress);
}

} // namespace devices
