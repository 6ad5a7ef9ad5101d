#include "platform/FileDialogs.h"

#include "platform/TextTrim.h"

namespace platform {

namespace {

std::vector<std::u16string_view> split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::u16string_view::npos ? end : end - start));
        if (end == std::u16string_view::npos) return parts;
        start = end + 1;
    }
}

} // namespace

std::vector<FileFilterEntry> parseFileFilter(std::u16string_view filter) {
    std::vector<FileFilterEntry> entries;
    if (filter.empty()) return entries;
    const std::vector<std::u16string_view> fields = split(filter, u'|');
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        FileFilterEntry entry{std::u16string(trimSpaces(fields[i])), {}};
        if (i + 1 < fields.size()) {
            for (std::u16string_view pattern : split(fields[i + 1], u';')) {
                pattern = trimSpaces(pattern);
                if (!pattern.empty()) entry.patterns.emplace_back(pattern);
            }
        }
        if (entry.patterns.empty()) entry.patterns.emplace_back(u"*");
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace platform
