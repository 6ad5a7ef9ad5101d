#pragma once

#include <algorithm>
#include <concepts>
#include <string>
#include <string_view>

namespace bus {

// A whole number in decimal digits, as the console's messages show counts,
// codes and version numbers.
template <std::integral Number> std::u16string decimal(Number value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

// Letter case is ignored for A-Z only, the same in every locale: names,
// file endings, keywords and adapter replies are ASCII.
constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr bool sameIgnoringCase(char a, char b) {
    return asciiLower(a) == asciiLower(b);
}

constexpr bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameIgnoringCase);
}
constexpr bool startsWithIgnoringCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && equalsIgnoringCase(text.substr(0, start.size()), start);
}
constexpr bool endsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           equalsIgnoringCase(text.substr(text.size() - end.size()), end);
}
constexpr bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), sameIgnoringCase) !=
           text.end();
}

} // namespace bus
