#include "about/VersionsFile.h"

#include "platform/Text8.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>
#include <string_view>

namespace about {

namespace {

char16_t foldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool containsFolded(std::u16string_view text, std::u16string_view part) {
    if (part.empty()) return true;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < part.size() && foldCase(text[i + k]) == foldCase(part[k]))
            ++k;
        if (k == part.size()) return true;
    }
    return false;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// For a well-formed decimal number other than 0, the n with
// 10^(n-1) <= |number| < 10^n, held within +-10^9; whether it is above 0 tells
// a number too large for a double from one too small, whatever digits and
// exponent it was written with ("0.000...1" is tiny, "1000...e-5" huge).
long long decimalOrder(std::string_view number) {
    constexpr long long kHeld = 1'000'000'000;
    std::size_t i = number.empty() || isDigit(number[0]) || number[0] == '.' ? 0 : 1;
    long long order = 0;
    bool significant = false;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        if (number[i] != '0') significant = true;
        if (significant && order < kHeld) ++order;
    }
    if (i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && isDigit(number[i]) && !significant; ++i) {
            if (number[i] != '0') {
                significant = true;
            } else if (order > -kHeld) {
                --order;
            }
        }
    }
    while (i < number.size() && isDigit(number[i]))
        ++i;
    long long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        for (; i < number.size() && isDigit(number[i]); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), kHeld);
        if (negative) exponent = -exponent;
    }
    return order + exponent;
}

} // namespace

int FieldReader::get() {
    const auto c = in_.get();
    return in_ ? static_cast<unsigned char>(c) : -1;
}

int FieldReader::peek() {
    const auto c = in_.peek();
    return c == std::istream::traits_type::eof() ? -1 : static_cast<unsigned char>(c);
}

std::optional<std::u16string> FieldReader::next() {
    int c = get();
    while (c == ' ')
        c = get();
    if (c < 0) return std::nullopt;

    std::u16string field;
    const auto keep = [&field](int byte) {
        if (field.size() < kMaxField)
            field.push_back(platform::charOfByte(static_cast<unsigned char>(byte)));
    };
    const auto endOfLine = [this](int byte) {
        // A carriage return and line feed together end one line.
        if (byte == '\r' && peek() == '\n') get();
    };

    if (c == '"') {
        for (c = get(); c >= 0 && c != '"'; c = get())
            keep(c);
        // Whatever stands between the closing quote and the field's end is
        // not part of the field.
        for (c = get(); c >= 0 && c != ',' && c != '\n' && c != '\r'; c = get()) {
        }
        endOfLine(c);
        return field;
    }
    for (; c >= 0 && c != ',' && c != '\n' && c != '\r'; c = get())
        keep(c);
    endOfLine(c);
    return field;
}

std::optional<std::u16string> findProgramField(std::istream& in, std::u16string_view title) {
    FieldReader reader(in);
    while (std::optional<std::u16string> field = reader.next()) {
        if (containsFolded(*field, title)) return field;
    }
    return std::nullopt;
}

std::u16string versionTextOf(std::u16string_view field) {
    const std::size_t colon = field.find(u':');
    return std::u16string(colon == std::u16string_view::npos ? field : field.substr(colon + 1));
}

double versionNumber(std::u16string_view text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n') continue;
        // Nothing outside plain ASCII can belong to a number, so it ends one.
        ascii.push_back(c < 0x80 ? static_cast<char>(c) : '\x01');
    }

    std::size_t i = 0;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < ascii.size() && isDigit(ascii[i])) {
        ++i;
        ++digits;
    }
    if (i < ascii.size() && ascii[i] == '.') {
        ++i;
        while (i < ascii.size() && isDigit(ascii[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return 0;
    std::size_t end = i;
    if (i < ascii.size() && (ascii[i] == 'e' || ascii[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < ascii.size() && (ascii[j] == '+' || ascii[j] == '-')) ++j;
        const std::size_t firstDigit = j;
        while (j < ascii.size() && isDigit(ascii[j]))
            ++j;
        if (j > firstDigit) end = j;
    }

    // from_chars takes no leading '+'.
    std::size_t start = ascii[0] == '+' ? 1 : 0;
    double value = 0;
    const auto [last, error] = std::from_chars(ascii.data() + start, ascii.data() + end, value,
                                               std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Beyond a double: only the sign and the size matter when ordering
        // versions, so a tiny number is 0 and a huge one the largest there is.
        const double size = decimalOrder(std::string_view(ascii).substr(0, end)) > 0
                                ? std::numeric_limits<double>::max()
                                : 0.0;
        return ascii[0] == '-' ? -size : size;
    }
    (void)last;
    return error == std::errc{} ? value : 0;
}

VersionVerdict judgeVersions(std::istream& in, std::u16string_view title,
                             std::u16string_view currentVersion) {
    const std::optional<std::u16string> field = findProgramField(in, title);
    if (!field) return {};
    VersionVerdict verdict;
    verdict.published = versionTextOf(*field);
    verdict.kind = versionNumber(verdict.published) > versionNumber(currentVersion)
                       ? VersionVerdict::Newer
                       : VersionVerdict::Latest;
    return verdict;
}

} // namespace about
