#pragma once

#include <string_view>

namespace platform {

// Hands a file or a web address to the desktop, which opens it with the
// program the user chose for it.
class Shell {
public:
    virtual ~Shell() = default;
    // A local path, or an address with its scheme ("https://...", "mailto:...").
    // False when the desktop could not open it.
    virtual bool open(std::u16string_view target) = 0;
};

} // namespace platform
