#pragma once

#include <string>

namespace exchange {

// Where answers are shown: led by the selected device's address, on top of
// the incoming view.
class AnswerView {
public:
    virtual void PrintMessageList(const std::u16string& text) = 0;
    // Empties the view before new answers when Auto Clear is both checked
    // and enabled. The help text goes with it, so Help may show it again.
    virtual void autoClearView() = 0;

protected:
    ~AnswerView() = default;
};

} // namespace exchange
