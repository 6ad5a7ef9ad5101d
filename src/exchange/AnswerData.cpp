#include "exchange/AnswerData.h"

#include "bus/DeviceIo.h"
#include "platform/Text8.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace exchange {

namespace {

bool isSeparator(char16_t c) {
    return c == u',' || c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::optional<double> parseNumber(std::u16string_view item) {
    // Instruments write "+1.5E3"; from_chars takes no '+' of its own.
    if (item.starts_with(u'+')) item.remove_prefix(1);
    std::string ascii;
    ascii.reserve(item.size());
    for (const char16_t c : item) {
        if (c >= 0x80) return std::nullopt;
        ascii += static_cast<char>(c);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::vector<double>> ParseNumberList(std::u16string_view answer) {
    std::vector<double> values;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < answer.size() && isSeparator(answer[i]) && answer[i] != u',')
            ++i;
    };
    skipBlanks();
    while (i < answer.size()) {
        std::size_t end = i;
        while (end < answer.size() && !isSeparator(answer[end]))
            ++end;
        const auto value = parseNumber(answer.substr(i, end - i));
        if (!value) return std::nullopt;
        values.push_back(*value);
        i = end;
        skipBlanks();
        // One comma between two numbers, none at the end.
        if (i < answer.size() && answer[i] == u',') {
            ++i;
            skipBlanks();
            if (i == answer.size()) return std::nullopt;
        }
    }
    if (values.empty()) return std::nullopt;
    return values;
}

std::vector<double> BlockSamples(std::string_view data, SampleFormat format) {
    std::vector<double> samples;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    if (format.bits == 8) {
        samples.reserve(data.size());
        for (std::size_t i = 0; i < data.size(); ++i)
            samples.push_back(format.isSigned
                                  ? static_cast<double>(static_cast<signed char>(data[i]))
                                  : static_cast<double>(byte(i)));
        return samples;
    }
    samples.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const unsigned word =
            format.msbFirst ? byte(i) << 8 | byte(i + 1) : byte(i + 1) << 8 | byte(i);
        samples.push_back(format.isSigned ? static_cast<double>(static_cast<std::int16_t>(word))
                                          : static_cast<double>(word));
    }
    return samples;
}

std::optional<std::string> BlockData(std::u16string_view answer) {
    const auto check = bus::CheckBlock(answer);
    if (!check) return std::nullopt;
    return platform::toBytes(
        answer.substr(check->header.headerSize, static_cast<std::size_t>(check->received)));
}

std::u16string HexLine(std::string_view bytes, std::size_t offset) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string line;
    for (int shift = 28; shift >= 0; shift -= 4)
        line += kDigits[(offset >> shift) & 0xF];
    line += u"  ";
    const std::string_view row = bytes.substr(offset, 16);
    for (std::size_t i = 0; i < 16; ++i) {
        if (i < row.size()) {
            const auto b = static_cast<unsigned char>(row[i]);
            line += kDigits[b >> 4];
            line += kDigits[b & 0xF];
        } else {
            line += u"  ";
        }
        line += i == 7 ? u"  " : u" ";
    }
    line += u' ';
    for (const char c : row) {
        const auto b = static_cast<unsigned char>(c);
        line += b >= 0x20 && b < 0x7F ? static_cast<char16_t>(b) : u'.';
    }
    return line;
}

std::string CsvText(const std::vector<double>& values) {
    std::string text = "index,value\r\n";
    char number[32];
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += std::to_string(i);
        text += ',';
        text.append(number, std::to_chars(number, number + sizeof number, values[i]).ptr);
        text += "\r\n";
    }
    return text;
}

} // namespace exchange
