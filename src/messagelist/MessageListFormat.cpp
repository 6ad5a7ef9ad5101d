#include "messagelist/MessageListFormat.h"

#include "platform/Text8.h"
#include "platform/TextTrim.h"

#include <cstring>

namespace messagelist {

std::vector<std::u16string> defaultMessageList() {
    return {u"ID?", u"*IDN?", u"INIT", u"FAC", u"SET?"};
}

ParsedMessageList parseMessageList(std::string_view bytes, std::size_t maxEntries) {
    ParsedMessageList parsed;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (parsed.entries.size() == maxEntries) {
            parsed.truncated = true;
            break;
        }
        // One pass over the bytes: memchr finds each line end, so huge files
        // and very long lines stay linear.
        const void* found = std::memchr(bytes.data() + pos, '\r', bytes.size() - pos);
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data())
                  : bytes.size();
        // 0x20 is the only byte that maps to a space, so trimming bytes trims text.
        parsed.entries.push_back(
            platform::fromBytes(platform::trimSpaces(bytes.substr(pos, end - pos))));
        pos = end + 1;
        if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    }
    return parsed;
}

std::string formatMessageList(const std::vector<std::u16string>& entries) {
    std::string bytes;
    std::size_t size = 0;
    for (const std::u16string& entry : entries)
        size += entry.size() + 2;
    bytes.reserve(size);
    std::string line;
    for (const std::u16string& entry : entries) {
        if (entry == kHelpEntry) continue;
        platform::toBytes(platform::trimSpaces(entry), line);
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace messagelist
