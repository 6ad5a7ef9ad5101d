#include "bus/DeviceIo.h"

#include "bus/BusErrors.h"

#include <algorithm>

namespace bus {
namespace {
constexpr std::size_t kChunk = 512;

bool isLineEnd(char16_t c) {
    return c == u'\n' || c == u'\r';
}
} // namespace

TimeoutScope::TimeoutScope(Binding& binding, std::int16_t descriptor, std::int16_t code,
                           bool always, bool restoreAlways)
    : binding_(binding), descriptor_(descriptor), standing_(binding.ibask(descriptor, IbaTMO)),
      restore_(always || restoreAlways || standing_ != code) {
    if (always || standing_ != code) binding_.ibtmo(descriptor_, code);
}

void TimeoutScope::restore() {
    if (!restore_) return;
    restore_ = false;
    binding_.ibtmo(descriptor_, standing_);
}

void WriteChecked(BusSession& s, std::int16_t descriptor, std::u16string_view text) {
    s.ErrorFlag = false;
    if (descriptor == 0) ReportDeviceNotConfigured(s);
    Binding& b = s.binding;
    b.ibwrt(descriptor, text);
    if ((b.ibsta & ERR) == 0 && b.ibcntlLong() < static_cast<std::int64_t>(text.size())) {
        b.ibsta = static_cast<std::int16_t>(b.ibsta | ERR);
        b.iberr = EABO;
    }
    ReportBusError(s);
}

namespace {

template <class Call> TransferOutcome transfer(BusSession& s, std::int16_t descriptor, Call call) {
    Binding& b = s.binding;
    TimeoutScope longTimeout(b, descriptor, T100s, true, true);
    b.ibwait(descriptor, static_cast<std::int16_t>(TIMO | CMPL));
    call(b);
    return {b.ibsta, b.iberr, b.ibcntlLong()};
}

} // namespace

TransferOutcome ReceiveFile(BusSession& s, std::int16_t descriptor, std::u16string_view path) {
    return transfer(s, descriptor, [&](Binding& b) { b.ibrdf(descriptor, path); });
}

TransferOutcome SendFile(BusSession& s, std::int16_t descriptor, std::u16string_view path) {
    return transfer(s, descriptor, [&](Binding& b) { b.ibwrtf(descriptor, path); });
}

std::u16string CleanAnswer(std::u16string answer) {
    const auto first = answer.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    answer.erase(answer.find_last_not_of(u' ') + 1);
    answer.erase(0, first);
    if (answer.size() > 1 && isLineEnd(answer[answer.size() - 2])) answer.pop_back();
    for (int i = 0; i < 2 && !answer.empty() && isLineEnd(answer.back()); ++i)
        answer.pop_back();
    return answer;
}

std::u16string ReadResponse(BusSession& s, std::int16_t descriptor) {
    if (descriptor == 0) ReportDeviceNotConfigured(s);
    Binding& b = s.binding;

    TimeoutScope readTimeout(b, descriptor, T10s, false, true);

    std::u16string answer;
    std::u16string buffer;
    int chunks = 0;
    for (;;) {
        buffer.assign(kChunk, u' ');
        b.ibwait(descriptor, TIMO | CMPL);
        b.ibrd(descriptor, buffer);
        if (b.ibsta & TIMO) {
            chunks = 0;
            break;
        }
        // Only what the driver delivered: a short chunk before the last
        // must not leave padding inside the answer.
        const auto received =
            static_cast<std::size_t>(std::clamp<int>(b.ibcnt, 0, static_cast<int>(kChunk)));
        answer.append(buffer, 0, received);
        ++chunks;
        if (b.ibsta & END) break;
        // A failure that is neither a time-out nor the end (the device went
        // away, the bus failed) would otherwise loop for ever; the answer is
        // incomplete, so it is treated like a time-out.
        if (b.ibsta & ERR) {
            chunks = 0;
            break;
        }
    }

    readTimeout.restore();

    if (chunks == 0) {
        s.boxes.show(u"Read cycle failed\nOperation aborted.", u"I/O Error", platform::Buttons::Ok,
                     platform::Icon::Exclamation);
        return {};
    }
    return CleanAnswer(std::move(answer));
}

} // namespace bus
