#pragma once

#include "platform/FileDialogs.h"

#include <deque>
#include <optional>
#include <vector>

namespace testing_support {

// Answers file dialogs from a script and records every request. With the
// script empty, a dialog is cancelled.
class ScriptedFileDialogs : public platform::FileDialogs {
public:
    void answerNext(std::optional<platform::FileChoice> choice) {
        script_.push_back(std::move(choice));
    }
    std::optional<platform::FileChoice>
    choose(const platform::FileDialogRequest& request) override {
        requests_.push_back(request);
        if (script_.empty()) return std::nullopt;
        std::optional<platform::FileChoice> choice = std::move(script_.front());
        script_.pop_front();
        return choice;
    }

    const std::vector<platform::FileDialogRequest>& requests() const { return requests_; }

private:
    std::deque<std::optional<platform::FileChoice>> script_;
    std::vector<platform::FileDialogRequest> requests_;
};

} // namespace testing_support
