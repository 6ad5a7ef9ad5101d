#include "bus/sim/Syntax.h"

#include "bus/AsciiText.h"

#include <charconv>
#include <cmath>

namespace bus::sim::syntax {

namespace {

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr char upper(char c) {
    return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

// The next ':'-separated node of `text`, removed from it.
std::string_view takeNode(std::string_view& text) {
    const std::size_t colon = text.find(':');
    const std::string_view node = text.substr(0, colon);
    text.remove_prefix(colon == std::string_view::npos ? text.size() : colon + 1);
    return node;
}

bool nodeMatches(std::string_view pattern, std::string_view node, int& suffix) {
    if (!pattern.empty() && pattern.back() == '#') {
        pattern.remove_suffix(1);
        std::size_t digits = 0;
        while (digits < node.size() && isDigit(node[node.size() - 1 - digits]))
            ++digits;
        if (digits == 0 || digits > 3) return false;
        int value = 0;
        for (char c : node.substr(node.size() - digits))
            value = value * 10 + (c - '0');
        node.remove_suffix(digits);
        if (!keywordMatches(pattern, node)) return false;
        suffix = value;
        return true;
    }
    return keywordMatches(pattern, node);
}

} // namespace

bool keywordMatches(std::string_view pattern, std::string_view word) {
    if (word.empty()) return false;
    std::size_t shortLength = 0;
    while (shortLength < pattern.size() && !isLower(pattern[shortLength]))
        ++shortLength;
    return equalsIgnoringCase(pattern.substr(0, shortLength), word) ||
           (shortLength < pattern.size() && equalsIgnoringCase(pattern, word));
}

bool headerMatches(std::string_view pattern, std::string_view header, int& suffix) {
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    if (header.empty()) return false;
    bool headerDone = false;
    std::string_view node = takeNode(header);
    while (!pattern.empty()) {
        std::string_view expected = takeNode(pattern);
        const bool optional =
            expected.size() > 2 && expected.front() == '[' && expected.back() == ']';
        if (optional) expected = expected.substr(1, expected.size() - 2);
        if (!headerDone && nodeMatches(expected, node, suffix)) {
            if (header.empty()) {
                headerDone = true;
            } else {
                node = takeNode(header);
            }
        } else if (!optional) {
            return false;
        }
    }
    return headerDone;
}

std::optional<double> parseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

void appendInteger(std::string& out, long long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendExponent(std::string& out, double value, int digits, bool sign) {
    if (value == 0) value = 0; // no "-0.0000E+00"
    char buffer[48];
    char* first = buffer;
    if (sign && !std::signbit(value)) *first++ = '+';
    const auto result =
        std::to_chars(first, buffer + sizeof buffer, value, std::chars_format::scientific, digits);
    for (char* p = first; p != result.ptr; ++p)
        *p = upper(*p);
    out.append(buffer, result.ptr);
}

} // namespace bus::sim::syntax
