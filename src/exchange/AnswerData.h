#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

// The numbers of an answer that is a list of them (READ? lists, CURV? in
// ASCII, trace data), separated by commas or white space; nothing when
// anything else is in it, an empty item included.
std::optional<std::vector<double>> ParseNumberList(std::u16string_view answer);

// How the bytes of a binary block are samples.
struct SampleFormat {
    int bits = 8; // 8 or 16
    bool isSigned = true;
    bool msbFirst = true; // 16-bit only
};

// The samples of a block's data bytes; an odd byte at the end of 16-bit
// data is left out.
std::vector<double> BlockSamples(std::string_view data, SampleFormat format);

// The data bytes of the block that opens `answer`, as far as they came;
// nothing when the answer is not a block.
std::optional<std::string> BlockData(std::u16string_view answer);

// One line of the hex view: the offset, 16 bytes in hex and the same bytes
// as text, '.' for those that are not printable.
std::u16string HexLine(std::string_view bytes, std::size_t offset);

// The values as CSV, "index,value" first, one line each, CR LF ended.
std::string CsvText(const std::vector<double>& values);

} // namespace exchange
