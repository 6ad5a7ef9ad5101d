// A .gmg message list file: reading any bytes, writing what was read and
// reading that again gives the same list. The help entry is never written,
// so a hand-edited "<Help>" line is the one entry that does not come back.
#include "Check.h"
#include "messagelist/MessageListFormat.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace messagelist;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A small limit too, so the cut-off is reached.
    for (const std::size_t limit : {kMaxFileEntries, std::size_t{3}}) {
        ParsedMessageList first = parseMessageList(bytes, limit);
        FUZZ_CHECK(first.entries.size() <= limit);
        for (const std::u16string& entry : first.entries) {
            FUZZ_CHECK(entry.find(u'\r') == std::u16string::npos);
            FUZZ_CHECK(platform::trimSpaces(entry).size() == entry.size());
        }
        std::erase(first.entries, std::u16string(kHelpEntry));

        const std::string written = formatMessageList(first.entries);
        const ParsedMessageList second = parseMessageList(written, limit);
        FUZZ_CHECK(!second.truncated);
        FUZZ_CHECK(second.entries == first.entries);
        FUZZ_CHECK(formatMessageList(second.entries) == written);
    }
    return 0;
}
