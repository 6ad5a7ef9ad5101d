#pragma once

#include <string_view>

namespace platform {

// The characters a trim takes off the ends of a text. Each reader keeps the
// set its format calls blank, so the sets stay apart.
//
// Spaces (0x20) alone, not tabs: message list entries, file filters, device
// identification answers.
inline constexpr std::string_view kSpaces = " ";
// Spaces, tabs and line ends: the blanks around SCPI program message units.
inline constexpr std::string_view kBlanksAndLineEnds = " \t\r\n";
// What std::isspace takes in the C locale, without depending on the locale:
// adapter replies.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

namespace detail {
template <class Char>
constexpr std::basic_string_view<Char> trim(std::basic_string_view<Char> text,
                                            std::string_view blanks) {
    const auto blank = [blanks](Char c) {
        for (const char b : blanks)
            if (c == static_cast<Char>(b)) return true;
        return false;
    };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}
} // namespace detail

// `text` without the characters of `blanks` at both ends. One per character
// type so that strings convert without naming the view.
constexpr std::u16string_view trimSpaces(std::u16string_view text,
                                         std::string_view blanks = kSpaces) {
    return detail::trim(text, blanks);
}
constexpr std::string_view trimSpaces(std::string_view text, std::string_view blanks = kSpaces) {
    return detail::trim(text, blanks);
}

} // namespace platform
