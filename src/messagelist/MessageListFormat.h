#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace messagelist {

// Stands first in the list and is never written to a file; matched exactly.
inline constexpr std::u16string_view kHelpEntry = u"<Help>";

// Counts and indexes of the list are 16-bit signed; "<Help>" takes one place.
inline constexpr std::size_t kMaxListEntries = 32767;
inline constexpr std::size_t kMaxFileEntries = kMaxListEntries - 1;

// The list a first start, or a restore, writes to the start-up file.
std::vector<std::u16string> defaultMessageList();

struct ParsedMessageList {
    std::vector<std::u16string> entries;
    // The file holds more lines than maxEntries; the rest was not read.
    bool truncated = false;
};

// The entries of a message list file, without "<Help>" put first. A line ends
// at CR, CR LF counting as one end; LF alone is part of the line. The last
// line needs no end; an empty file holds nothing. Each line is trimmed of
// spaces; blank lines are entries too.
ParsedMessageList parseMessageList(std::string_view bytes,
                                   std::size_t maxEntries = kMaxFileEntries);

// The file content for a list: every entry other than "<Help>", trimmed of
// spaces, in the 8-bit code page, each followed by CR LF.
std::string formatMessageList(const std::vector<std::u16string>& entries);

} // namespace messagelist
