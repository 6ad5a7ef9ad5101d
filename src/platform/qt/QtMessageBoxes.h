#pragma once

#include "platform/MessageBoxes.h"

namespace platform {

// Message boxes as QMessageBox, over the active window of the application.
// The first button is the default; Escape and the close box give Cancel
// (No where there is no Cancel).
class QtMessageBoxes final : public MessageBoxes {
public:
    Answer show(std::u16string_view text, std::u16string_view title, Buttons buttons,
                Icon icon) override;
};

// Ends the process at once with the code: no window is asked to close and
// nothing is saved. Buffered output is flushed first, so the traces and
// messages written so far are complete.
class QtProgramExit final : public ProgramExit {
protected:
    void end(int exitCode) override;
};

} // namespace platform
