#include "support/ScriptedFileDialogs.h"

namespace testing_support {

std::optional<platform::FileChoice>
ScriptedFileDialogs::choose(const platform::FileDialogRequest& request) {
    requests_.push_back(request);
    if (script_.empty()) return std::nullopt;
    std::optional<platform::FileChoice> choice = std::move(script_.front());
    script_.pop_front();
    return choice;
}

} // namespace testing_support
