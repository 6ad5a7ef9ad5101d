#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading and writing the text of instrument messages in place, without
// building strings: headers and keywords are compared case-insensitively
// against patterns, numbers are parsed and formatted the same way in every
// locale.
namespace bus::sim::syntax {

// A keyword pattern in the usual instrument notation: the capitals are the
// short form, the whole word the long form ("VOLTage" takes VOLT and
// VOLTAGE, in any case). Anything else does not match.
bool keywordMatches(std::string_view pattern, std::string_view word);

// Matches a program header without its '?' against a pattern of keywords
// separated by ':'. "[NODE]" is a node that may be left out; "NODE#" takes a
// required numeric suffix, returned in `suffix`. A leading ':' on the header
// is allowed.
bool headerMatches(std::string_view pattern, std::string_view header, int& suffix);

// A decimal number (NR1, NR2 or NR3) and nothing else.
std::optional<double> parseNumber(std::string_view text);

// Appends an integer (NR1).
void appendInteger(std::string& out, long long value);
// Appends a number in the instrument's exponent form with `digits` digits
// after the point: "1.0000E+03", or "+1.23456780E+00" with `sign`.
void appendExponent(std::string& out, double value, int digits, bool sign = false);

} // namespace bus::sim::syntax
