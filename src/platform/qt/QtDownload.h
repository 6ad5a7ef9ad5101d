#pragma once

#include "platform/Download.h"

#include <QNetworkAccessManager>

#include <chrono>
#include <cstdint>

namespace platform {

// Downloads with QNetworkAccessManager, waiting in a local event loop: the
// caller gets the result as from a plain function call, while the window
// keeps drawing. The whole download, connection included, is bounded by the
// limit, and a body larger than maxBytes is refused.
class QtDownload final : public Download {
public:
    explicit QtDownload(std::chrono::milliseconds limit = kDownloadLimit,
                        std::int64_t maxBytes = 4 << 20)
        : limit_(limit), maxBytes_(maxBytes) {}

    DownloadResult toFile(std::u16string_view url, std::u16string_view path) override;

private:
    std::chrono::milliseconds limit_;
    std::int64_t maxBytes_;
    QNetworkAccessManager network_;
};

} // namespace platform
