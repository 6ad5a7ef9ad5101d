#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace platform {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Critical, Exclamation, Question, Information };
enum class Answer { Ok, Cancel, Yes, No };

// Modal message boxes. Lines of the text are separated by single line feeds.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer show(std::u16string_view text, std::u16string_view title, Buttons buttons,
                        Icon icon) = 0;
};

// The one way the console ends at once after a terminating error: every
// window closes, nothing (options included) is saved.
class ProgramExit {
public:
    virtual ~ProgramExit() = default;
    [[noreturn]] void endProgram(int exitCode) {
        end(exitCode);
        std::abort(); // an implementation that returns would let a dead session go on
    }

protected:
    // Must not return: end the process, or (in tests) unwind by throwing.
    virtual void end(int exitCode) = 0;
};

} // namespace platform
