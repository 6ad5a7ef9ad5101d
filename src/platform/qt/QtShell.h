#pragma once

#include "platform/Shell.h"

#include <QUrl>

namespace platform {

// Opens files and addresses with QDesktopServices.
class QtShell final : public Shell {
public:
    bool open(std::u16string_view target) override;
};

// A local path becomes a file URL; text with a scheme stays an address.
QUrl shellUrl(std::u16string_view target);

} // namespace platform
