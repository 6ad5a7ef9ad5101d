#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace platform {

// The outcome of one download: ok, or why not in the operator's words.
struct DownloadResult {
    bool ok = false;
    std::u16string error;
};

// Fetches a web address into a local file. A failed download leaves any file
// already at the path as it was.
class Download {
public:
    virtual ~Download() = default;
    virtual DownloadResult toFile(std::u16string_view url, std::u16string_view path) = 0;
};

// No download may keep the operator waiting longer than this.
inline constexpr std::chrono::milliseconds kDownloadLimit{10000};

} // namespace platform
