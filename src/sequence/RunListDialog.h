#pragma once

#include <optional>
#include <string>

class QWidget;

namespace platform {
class FileDialogs;
}

namespace sequence {

// What the Run List dialog asks, without its widgets.
struct RunListChoice {
    bool allEntries = true; // every message of the outgoing list, or the current entry
    int rounds = 1;         // 0: until the operator stops the run
    int intervalMs = 0;     // from the end of one round to the next
    std::u16string logPath; // empty: no log
};

// Shows the dialog, starting from `start`; the log file is picked through
// `fileDialogs`. The choice, or nullopt when the operator cancels.
std::optional<RunListChoice> askRunList(QWidget* parent, platform::FileDialogs& fileDialogs,
                                        const RunListChoice& start);

} // namespace sequence
