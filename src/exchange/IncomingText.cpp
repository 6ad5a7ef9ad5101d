#include "exchange/IncomingText.h"

#include "bus/AsciiText.h"
#include "bus/DeviceIo.h"

#include <algorithm>
#include <array>

namespace exchange {

std::int64_t SizeEstimate(std::size_t length) {
    const auto l = static_cast<std::int64_t>(length);
    std::int64_t lines = l / 50;
    const std::int64_t rest = l % 50;
    if (rest > 25 || (rest == 25 && lines % 2 == 1)) ++lines;
    return l + 6 * (lines + 1);
}

namespace {

bool isText(char16_t c) {
    return (c >= 0x20 && c < 0x7F) || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

std::optional<std::u16string> BlockSummary(std::u16string_view answer) {
    const auto check = bus::CheckBlock(answer);
    if (!check) return std::nullopt;
    const std::u16string_view data =
        answer.substr(check->header.headerSize, static_cast<std::size_t>(check->received));
    if (std::all_of(data.begin(), data.end(), isText)) return std::nullopt;
    std::u16string text(answer.substr(0, 2));
    text += u" block, ";
    if (check->isShort()) text += bus::decimal(check->received) + u" of ";
    text += bus::decimal(check->header.length) + u" bytes";
    if (check->isLong()) text += u" and " + bus::decimal(check->extra) + u" more";
    return text;
}

std::int64_t SizeEstimate(std::u16string_view answer) {
    if (const auto summary = BlockSummary(answer)) return SizeEstimate(summary->size());
    return SizeEstimate(answer.size());
}

std::u16string BuildBlock(std::u16string_view answer, int address) {
    const char16_t prefix[] = {static_cast<char16_t>(u'0' + (address / 10) % 10),
                               static_cast<char16_t>(u'0' + address % 10), u':', u' '};
    if (const auto summary = BlockSummary(answer))
        return std::u16string(prefix, 4) + *summary + u"\r\n";
    std::u16string block;
    block.reserve(answer.size() + (answer.size() / kLineWidth + 1) * 6);
    for (std::size_t start = 0; start < answer.size(); start += kLineWidth) {
        block.append(prefix, 4);
        block.append(answer.substr(start, kLineWidth));
        block.append(u"\r\n");
    }
    return block;
}

std::u16string HelpText(std::u16string_view viewText) {
    static constexpr std::array<std::pair<std::u16string_view, int>, 28> kLines = {{
        {u"*** Vireon Help ***", 1},
        {u"*With this program you can communicate manually with", 0},
        {u" devices on the GPIB bus in a simple way. Click on", 0},
        {u" an address button to select a device. Type your", 0},
        {u" message in the Outgoing Message box or select from", 0},
        {u" the drop down list. Click on Send or hit <Enter> to", 0},
        {u" send the message.", 1},
        {u"*Outgoing message: Each new sent message is stored in", 0},
        {u" the drop down list of the Outgoing Message box. This", 0},
        {u" list can be saved to either startup.gmg which is", 0},
        {u" automatically loaded at program start and is located", 0},
        {u" in the AppData folder or to an alternate file which", 0},
        {u" can be loaded manually. Nothing is automatically", 0},
        {u" saved. Use the Message Lists menu to save. The *.gmg", 0},
        {u" files can be edited with a text editor like Notepad.", 1},
        {u"*Query: If the message ends with either one or two", 0},
        {u" question marks a response from the selected device", 0},
        {u" is expected. With one question mark the message is", 0},
        {u" sent as typed and with two it is sent without any", 0},
        {u" question marks at all. The response is displayed in", 0},
        {u" the Incoming Message box.", 1},
        {u"*Files: Data can be sent between a device and a file", 0},
        {u" in either direction. Use File menu to select.", 1},
        {u"*Syntax checking: Double click on a selected address", 0},
        {u" button to enable or select from the File menu.", 0},
        {u" Active Syntax Checking is indicated by blue text in", 0},
        {u" the Address button.", 1},
        {u"*** End Help *** Click Clear to continue ***", 0},
    }};
    std::u16string text = u"\r\n";
    for (const auto& [line, blanks] : kLines) {
        text += line;
        text += u"\r\n";
        for (int i = 0; i < blanks; ++i)
            text += u"\r\n";
    }
    if (viewText.empty() || viewText.front() != u'\r') text += u"\r\n";
    return text;
}

} // namespace exchange
