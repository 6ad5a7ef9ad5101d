#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// The per-user folder "Vireon" that holds the start-up message list.
struct PreparedDataFolder {
    // Without a trailing separator.
    std::u16string path;
    // False when the folder is missing and could not be created; then error
    // says why, in the operator's words.
    bool usable = false;
    std::u16string error;
};

class DataFolder {
public:
    virtual ~DataFolder() = default;
    // Finds the folder and creates it (one level) when it is missing.
    virtual PreparedDataFolder prepare() = 0;
};

// "AppData" + "Vireon" where the variable is set and not empty, else the
// platform's per-user data folder + "Vireon"; joined with the platform's
// separator, never ending in one.
std::u16string dataFolderPath(const std::optional<std::u16string>& appData,
                              std::u16string_view perUserDataBase);

// path + separator + name, with the platform's separator.
std::u16string joinPath(std::u16string_view folder, std::u16string_view name);

// A data folder at a fixed path on the local file system. Only the last
// level is created, unless the folders above it may be created too (a
// per-user data folder that a fresh account may not have yet).
class LocalDataFolder : public DataFolder {
public:
    explicit LocalDataFolder(std::u16string path, bool createParents = false)
        : path_(std::move(path)), createParents_(createParents) {}
    PreparedDataFolder prepare() override;

private:
    std::u16string path_;
    bool createParents_;
};

} // namespace platform
