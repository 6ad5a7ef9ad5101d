#pragma once

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

} // namespace bus
