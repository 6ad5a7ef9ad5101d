#include "support/ScriptedMessageBoxes.h"

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
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace testing_support
