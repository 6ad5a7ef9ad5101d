#include "platform/DataFolder.h"

#include "platform/Text8.h"

#include <filesystem>
#include <system_error>

namespace platform {

namespace {

constexpr char16_t kSeparator = static_cast<char16_t>(std::filesystem::path::preferred_separator);

bool isSeparator(char16_t c) {
    return c == kSeparator || c == u'/';
}

std::u16string withoutTrailingSeparators(std::u16string text) {
    // Keep a lone root ("/" or "C:\") whole.
    while (text.size() > 1 && isSeparator(text.back()) && !(text.size() == 3 && text[1] == u':'))
        text.pop_back();
    return text;
}

} // namespace

std::u16string joinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path = withoutTrailingSeparators(std::u16string(folder));
    if (!path.empty() && !isSeparator(path.back())) path += kSeparator;
    path += name;
    return path;
}

std::u16string dataFolderPath(const std::optional<std::u16string>& appData,
                              std::u16string_view perUserDataBase) {
    const std::u16string_view base =
        appData && !appData->empty() ? std::u16string_view(*appData) : perUserDataBase;
    return withoutTrailingSeparators(joinPath(base, u"Vireon"));
}

PreparedDataFolder LocalDataFolder::prepare() {
    PreparedDataFolder result{path_, false, {}};
    const std::filesystem::path folder(path_);
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) {
        result.usable = true;
        return result;
    }
    // A missing "AppData" folder means the environment is wrong, which a
    // chain of new folders would only hide; a fresh account's per-user data
    // folder may simply not exist yet.
    if (createParents_)
        std::filesystem::create_directories(folder, ec);
    else
        std::filesystem::create_directory(folder, ec);
    if (!ec) {
        result.usable = true;
        return result;
    }
    std::error_code again;
    result.error = std::filesystem::exists(folder, again) ? u"a file of that name is in the way"
                                                          : fromBytes(ec.message());
    return result;
}

} // namespace platform
