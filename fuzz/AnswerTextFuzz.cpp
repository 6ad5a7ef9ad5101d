// An instrument's answer on its way to the incoming view: cleaning only takes
// spaces from both ends and line ends from the tail, and the view's block
// shows every character of it, at most 50 to a line after the address, or
// one summary line for a binary data block. The same answer read as a list
// of numbers or as block samples gives finite numbers, and all of them.
#include "Check.h"
#include "bus/DeviceIo.h"
#include "exchange/AnswerData.h"
#include "exchange/IncomingText.h"
#include "platform/Text8.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

int checkData(const std::u16string& answer) {
    if (const auto numbers = exchange::ParseNumberList(answer)) {
        FUZZ_CHECK(!numbers->empty());
        for (const double value : *numbers)
            FUZZ_CHECK(std::isfinite(value));
    }
    if (const auto data = exchange::BlockData(answer)) {
        FUZZ_CHECK(data->size() <= answer.size());
        FUZZ_CHECK(exchange::BlockSamples(*data, {16, true, false}).size() == data->size() / 2);
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int address = data[0] % 31;
    const std::u16string answer =
        platform::fromBytes(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    const std::u16string clean = bus::CleanAnswer(answer);
    const std::size_t first = answer.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
        FUZZ_CHECK(clean.empty());
    } else {
        // What is left starts where the spaces end, and at most three
        // characters (a kept character after a line end, then two line ends)
        // go from the tail after its spaces.
        FUZZ_CHECK(answer.compare(first, clean.size(), clean) == 0);
        const std::size_t last = answer.find_last_not_of(u' ');
        FUZZ_CHECK(first + clean.size() <= last + 1);
        FUZZ_CHECK(last + 1 - first - clean.size() <= 3);
    }

    const std::u16string block = exchange::BuildBlock(clean, address);
    const char16_t prefix[] = {static_cast<char16_t>(u'0' + address / 10),
                               static_cast<char16_t>(u'0' + address % 10), u':', u' '};
    if (const auto summary = exchange::BlockSummary(clean)) {
        FUZZ_CHECK(block == std::u16string(prefix, 4) + *summary + u"\r\n");
        return checkData(answer);
    }
    std::u16string shown;
    std::size_t pos = 0;
    while (pos < block.size()) {
        FUZZ_CHECK(block.compare(pos, 4, prefix, 4) == 0);
        pos += 4;
        const std::size_t left = clean.size() - shown.size();
        const std::size_t line = left < exchange::kLineWidth ? left : exchange::kLineWidth;
        FUZZ_CHECK(line > 0);
        shown.append(block, pos, line);
        pos += line;
        FUZZ_CHECK(block.compare(pos, 2, u"\r\n") == 0);
        pos += 2;
    }
    FUZZ_CHECK(shown == clean);
    FUZZ_CHECK(exchange::SizeEstimate(clean) >= static_cast<std::int64_t>(block.size()));
    return checkData(answer);
}
