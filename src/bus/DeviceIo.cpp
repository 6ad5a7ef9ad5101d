#include "bus/DeviceIo.h"

#include "bus/AsciiText.h"
#include "bus/BusErrors.h"
#include "platform/Text8.h"

#include <algorithm>

namespace bus {
namespace {
constexpr std::size_t kChunk = 512;

// The answer is returned as it came; the operator is told it is not whole
// (or has more than it announced).
void reportBlockLength(BusSession& s, const BlockCheck& check) {
    std::u16string text =
        u"The answer announced a block of " + decimal(check.header.length) + u" bytes";
    if (check.isShort())
        text += u" but ended after " + decimal(check.received) + u" of them.";
    else
        text += u" but " + decimal(check.extra) + u" more bytes came after it.";
    s.boxes.show(text, u"Block Length Error", platform::Buttons::Ok, platform::Icon::Exclamation);
}
} // namespace

TimeoutScope::TimeoutScope(Binding& binding, std::int16_t descriptor, std::int16_t code,
                           bool always, bool restoreAlways)
    : binding_(binding), descriptor_(descriptor), standing_(binding.ibask(descriptor, IbaTMO)),
      restore_(always || restoreAlways || standing_ != code) {
    if (always || standing_ != code) binding_.ibtmo(descriptor_, code);
}

TimeoutScope::TimeoutScope(Binding& binding, std::int16_t descriptor, std::int16_t code,
                           std::int16_t standing)
    : binding_(binding), descriptor_(descriptor), standing_(standing), restore_(true) {
    binding_.ibtmo(descriptor_, code);
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

namespace {

// The part of `text` that CleanAnswer keeps, as [first, last).
template <class Char>
std::pair<std::size_t, std::size_t> cleanRange(std::basic_string_view<Char> text) {
    const auto isLineEnd = [](Char c) { return c == Char('\n') || c == Char('\r'); };
    const auto first = text.find_first_not_of(Char(' '));
    if (first == text.npos) return {0, 0};
    std::size_t last = text.find_last_not_of(Char(' ')) + 1;
    if (last - first > 1 && isLineEnd(text[last - 2])) --last;
    for (int i = 0; i < 2 && last > first && isLineEnd(text[last - 1]); ++i)
        --last;
    return {first, last};
}

enum class HeaderScan { NotABlock, CutShort, Found };

template <class Char>
HeaderScan scanHeader(std::basic_string_view<Char> text, BlockHeader& header) {
    const auto isDigit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
    if (text.empty() || text[0] != Char('#')) return HeaderScan::NotABlock;
    if (text.size() < 2) return HeaderScan::CutShort;
    if (!isDigit(text[1]) || text[1] == Char('0')) return HeaderScan::NotABlock;
    const auto digits = static_cast<std::size_t>(text[1] - Char('0'));
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (2 + i >= text.size()) return HeaderScan::CutShort;
        if (!isDigit(text[2 + i])) return HeaderScan::NotABlock;
        length = length * 10 + static_cast<std::uint64_t>(text[2 + i] - Char('0'));
    }
    header = {2 + digits, length};
    return HeaderScan::Found;
}

template <class Char> std::optional<BlockHeader> parseHeader(std::basic_string_view<Char> text) {
    BlockHeader header;
    if (scanHeader(text, header) != HeaderScan::Found) return std::nullopt;
    return header;
}

// A block answer keeps its bytes: only a line end right after a complete
// block goes, as [0, last).
template <class Char>
std::size_t blockEnd(std::basic_string_view<Char> text, const BlockHeader& header) {
    if (text.size() < header.blockSize()) return text.size();
    std::size_t last = text.size();
    if (last > 0 && text[last - 1] == Char('\n')) --last;
    if (last > 0 && text[last - 1] == Char('\r')) --last;
    return last < header.blockSize() ? static_cast<std::size_t>(header.blockSize()) : last;
}

// Beyond this an announced length is not trusted for reserving memory ahead.
constexpr std::uint64_t kMaxReserve = std::uint64_t{1} << 30;
// The read buffer is kept up to this size: fresh memory for every large
// answer costs more than reading it.
constexpr std::size_t kKeptAnswerCapacity = std::size_t{64} << 20;

} // namespace

std::u16string CleanAnswer(std::u16string answer) {
    const auto [first, last] = cleanRange(std::u16string_view(answer));
    answer.erase(last);
    answer.erase(0, first);
    return answer;
}

std::optional<BlockHeader> ParseBlockHeader(std::u16string_view answer) {
    return parseHeader(answer);
}

std::optional<BlockHeader> ParseBlockHeader(std::string_view answer) {
    return parseHeader(answer);
}

std::optional<BlockCheck> CheckBlock(std::u16string_view answer) {
    const auto header = parseHeader(answer);
    if (!header) return std::nullopt;
    const std::uint64_t data = answer.size() - header->headerSize;
    if (data <= header->length) return BlockCheck{*header, data, 0};
    return BlockCheck{*header, header->length, data - header->length};
}

std::u16string ReadResponse(BusSession& s, std::int16_t descriptor) {
    if (descriptor == 0) ReportDeviceNotConfigured(s);
    Binding& b = s.binding;

    TimeoutScope readTimeout(b, descriptor, T10s, false, true);

    // Gathered as bytes and converted once at the end: a large answer is
    // then grown in one byte per byte, not two, and never copied to clean it.
    std::string& bytes = s.answerBytes;
    bytes.clear();
    BlockHeader header;
    HeaderScan scan = HeaderScan::CutShort;
    bool complete = false;
    for (;;) {
        b.ibwait(descriptor, TIMO | CMPL);
        b.ibrd(descriptor, bytes, kChunk);
        if (b.ibsta & TIMO) break;
        if (scan == HeaderScan::CutShort) {
            scan = scanHeader(std::string_view(bytes), header);
            // A block says how large it is: grow the answer once.
            if (scan == HeaderScan::Found)
                bytes.reserve(
                    static_cast<std::size_t>(std::min(header.blockSize() + 2, kMaxReserve)));
        }
        if (b.ibsta & END) {
            complete = true;
            break;
        }
        // A failure that is neither a time-out nor the end (the device went
        // away, the bus failed) would otherwise loop for ever; the answer is
        // incomplete, so it is treated like a time-out.
        if (b.ibsta & ERR) break;
    }

    readTimeout.restore();
    // A buffer grown far by one large answer is given back once it is done.
    struct Release {
        std::string& bytes;
        ~Release() {
            if (bytes.capacity() > kKeptAnswerCapacity) std::string().swap(bytes);
        }
    } release{bytes};

    if (!complete) {
        s.boxes.show(u"Read cycle failed\nOperation aborted.", u"I/O Error", platform::Buttons::Ok,
                     platform::Icon::Exclamation);
        return {};
    }
    const std::string_view got(bytes);
    const auto [first, last] = scan == HeaderScan::Found
                                   ? std::pair<std::size_t, std::size_t>{0, blockEnd(got, header)}
                                   : cleanRange(got);
    std::u16string answer(last - first, u'\0');
    platform::fromBytes(got.substr(first, last - first), answer.data());
    if (scan == HeaderScan::Found) {
        const auto check = CheckBlock(answer);
        if (check->isShort() || check->isLong()) reportBlockLength(s, *check);
    }
    return answer;
}

} // namespace bus
