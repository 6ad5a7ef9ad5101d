#pragma once

#include "platform/SettingsStore.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A settings store in memory that records every read and write.
class MemorySettingsStore : public platform::SettingsStore {
public:
    using Key = std::pair<std::u16string, std::u16string>; // section, key

    std::optional<std::u16string> read(std::u16string_view section,
                                       std::u16string_view key) override;
    bool write(std::u16string_view section, std::u16string_view key,
               std::u16string_view value) override;

    // Stores a value without recording it as written.
    void preset(std::u16string_view section, std::u16string_view key, std::u16string_view value);

    const std::vector<Key>& reads() const { return reads_; }
    const std::vector<std::pair<Key, std::u16string>>& writes() const { return writes_; }

private:
    std::map<Key, std::u16string> values_;
    std::vector<Key> reads_;
    std::vector<std::pair<Key, std::u16string>> writes_;
};

} // namespace testing_support
