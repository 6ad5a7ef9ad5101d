#pragma once

#include "platform/MessageBoxes.h"

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

// Answers message boxes from a script and records every box shown.
// With the script empty, a box gets its first button's answer (OK or Yes).
class ScriptedMessageBoxes : public platform::MessageBoxes {
public:
    struct Shown {
        std::u16string text;
        std::u16string title;
        platform::Buttons buttons;
        platform::Icon icon;
        platform::Answer answer;
    };

    void answerNext(platform::Answer answer) { script_.push_back(answer); }
    platform::Answer show(std::u16string_view text, std::u16string_view title,
                          platform::Buttons buttons, platform::Icon icon) override;

    const std::vector<Shown>& shown() const { return shown_; }
    void clear() { shown_.clear(); }

private:
    std::deque<platform::Answer> script_;
    std::vector<Shown> shown_;
};

// Thrown by ThrowingExit so a test can see that the program would end here.
struct ProgramEnded {
    int exitCode;
};

class ThrowingExit : public platform::ProgramExit {
protected:
    void end(int exitCode) override { throw ProgramEnded{exitCode}; }
};

// UTF-8 for readable test failure messages and comparisons with literals.
std::string utf8(std::u16string_view text);

} // namespace testing_support
