#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// The per-user settings store of one application: text values addressed by
// section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // nullopt when the key is missing or its value cannot be read as text.
    virtual std::optional<std::u16string> read(std::u16string_view section,
                                               std::u16string_view key) = 0;
    // False when the value could not be stored.
    virtual bool write(std::u16string_view section, std::u16string_view key,
                       std::u16string_view value) = 0;
};

// The stored text, or defaultValue where there is none.
inline std::u16string readSetting(SettingsStore& store, std::u16string_view section,
                                  std::u16string_view key, std::u16string_view defaultValue) {
    std::optional<std::u16string> value = store.read(section, key);
    return value ? std::move(*value) : std::u16string(defaultValue);
}

} // namespace platform
