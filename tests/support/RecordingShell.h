#pragma once

#include "platform/Shell.h"

#include <string>
#include <vector>

namespace testing_support {

// Records what the console asked the desktop to open; opens nothing.
class RecordingShell : public platform::Shell {
public:
    bool open(std::u16string_view target) override {
        opened_.emplace_back(target);
        return true;
    }
    const std::vector<std::u16string>& opened() const { return opened_; }

private:
    std::vector<std::u16string> opened_;
};

} // namespace testing_support
