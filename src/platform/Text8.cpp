#include "platform/Text8.h"

#include <array>

namespace platform {
namespace {

// 0x80-0x9F of Windows-1252; the unassigned 81, 8D, 8F, 90, 9D stay C1 controls.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> makeTable() {
    std::array<char16_t, 256> table{};
    for (std::size_t b = 0; b < table.size(); ++b)
        table[b] = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    return table;
}
// One lookup per byte: answers of many megabytes pass through here.
constexpr std::array<char16_t, 256> kCharOfByte = makeTable();

} // namespace

char16_t charOfByte(unsigned char byte) { return kCharOfByte[byte]; }

int byteOfChar(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return ch;
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == ch) return static_cast<int>(0x80 + i);
    return -1;
}

void fromBytes(std::string_view bytes, char16_t* out) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = kCharOfByte[static_cast<unsigned char>(bytes[i])];
}

void fromBytes(std::string_view bytes, std::u16string& out) {
    out.resize(bytes.size());
    fromBytes(bytes, out.data());
}

std::u16string fromBytes(std::string_view bytes) {
    std::u16string out;
    fromBytes(bytes, out);
    return out;
}

void toBytes(std::u16string_view text, std::string& out) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        const int b = ch < 0x80 ? ch : byteOfChar(ch);
        out[i] = static_cast<char>(b < 0 ? '?' : b);
    }
}

std::string toBytes(std::u16string_view text) {
    std::string out;
    toBytes(text, out);
    return out;
}

} // namespace platform
