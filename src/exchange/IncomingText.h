#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace exchange {

// The incoming view holds at most this many characters.
inline constexpr std::int32_t kIncomingLimit = 32768;
// Characters of an answer per line of the view.
inline constexpr std::size_t kLineWidth = 50;

// What an answer of `length` characters will occupy in the view: the answer
// plus six characters ("05: " and CR LF) per line, with the line count
// estimated as length / 50 rounded half to even, plus one.
std::int64_t SizeEstimate(std::size_t length);
// The same for a whole answer: a binary block takes its summary's one line.
std::int64_t SizeEstimate(std::u16string_view answer);

// An answer that is a definite-length block of binary data is shown as one
// line, "#4 block, 20000 bytes" (with "19488 of 20000 bytes" when it came
// short, "and 3 more" when more came after it); nothing for any other answer,
// a block of plain text included, which the view shows as it is.
std::optional<std::u16string> BlockSummary(std::u16string_view answer);

// The answer cut into 50-character lines, each led by the two-digit address
// and ": " and ended by CR LF. Control characters inside stay data. A binary
// block gives its summary's line instead.
std::u16string BuildBlock(std::u16string_view answer, int address);

// The help text shown on top of the incoming view; `viewText` is what the
// view holds now (a blank line separates the help from an earlier answer).
std::u16string HelpText(std::u16string_view viewText);

} // namespace exchange
