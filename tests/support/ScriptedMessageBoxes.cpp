#include "support/ScriptedMessageBoxes.h"

#include "core/History.h"

namespace testing_support {

platform::Answer ScriptedMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                                            platform::Buttons buttons, platform::Icon icon) {
    platform::Answer answer = buttons == platform::Buttons::YesNo ||
                                      buttons == platform::Buttons::YesNoCancel
                                  ? platform::Answer::Yes
                                  : platform::Answer::Ok;
    if (!script_.empty()) {
        answer = script_.front();
        script_.pop_front();
    }
    shown_.push_back({std::u16string(text), std::u16string(title), buttons, icon, answer});
    return answer;
}

std::string utf8(std::u16string_view text) {
    return core::toUtf8(text);
}

} // namespace testing_support
