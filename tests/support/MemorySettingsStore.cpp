#include "support/MemorySettingsStore.h"

namespace testing_support {

std::optional<std::u16string> MemorySettingsStore::read(std::u16string_view section,
                                                        std::u16string_view key) {
    Key k{std::u16string(section), std::u16string(key)};
    reads_.push_back(k);
    const auto found = values_.find(k);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

bool MemorySettingsStore::write(std::u16string_view section, std::u16string_view key,
                                std::u16string_view value) {
    Key k{std::u16string(section), std::u16string(key)};
    writes_.emplace_back(k, std::u16string(value));
    values_[std::move(k)] = std::u16string(value);
    return true;
}

void MemorySettingsStore::preset(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view value) {
    values_[{std::u16string(section), std::u16string(key)}] = std::u16string(value);
}

} // namespace testing_support
