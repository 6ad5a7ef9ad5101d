#pragma once

// The desktop seams a benchmark needs and never uses for real: every box is
// answered Ok at once, and an end of the program aborts the run.

#include "platform/MessageBoxes.h"

#include <cstdlib>

namespace bench_support {

class SilentBoxes : public platform::MessageBoxes {
public:
    platform::Answer show(std::u16string_view, std::u16string_view, platform::Buttons,
                          platform::Icon) override {
        return platform::Answer::Ok;
    }
};

class AbortExit : public platform::ProgramExit {
protected:
    void end(int) override { std::abort(); }
};

} // namespace bench_support
