// The entry box's logic.
#include "messagelist/EntryBox.h"

#include <gtest/gtest.h>

namespace {

TEST(CompletesOnRelease, NeverForEditingNavigationModifierAndFunctionKeys) {
    for (int key : {Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Clear, Qt::Key_Return, Qt::Key_Enter,
                    Qt::Key_Shift, Qt::Key_CapsLock, Qt::Key_Space, Qt::Key_PageUp, Qt::Key_Home,
                    Qt::Key_Left, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Delete, Qt::Key_Help,
                    Qt::Key_F1, Qt::Key_F16, Qt::Key_NumLock})
        EXPECT_FALSE(messagelist::completesOnRelease(key)) << std::hex << key;
    for (int key :
         {Qt::Key_A, Qt::Key_0, Qt::Key_Question, Qt::Key_Less, Qt::Key_Escape, Qt::Key_F17})
        EXPECT_TRUE(messagelist::completesOnRelease(key)) << std::hex << key;
}

TEST(FindCompletion, FirstEntryBeginningWithTheTextLetterCaseIgnored) {
    const std::vector<std::u16string> list{u"<Help>", u"ID?", u"*IDN?", u"INIT", u"init:cont"};
    const std::pair<std::u16string_view, int> cases[] = {
        {u"i", 1}, {u"IN", 3}, {u"INIT:", 4}, {u"*", 2}, {u"<", 0}, {u"", 0}, {u"ID?X", -1}};
    for (const auto& [typed, index] : cases)
        EXPECT_EQ(messagelist::findCompletion(list, typed), index);
    EXPECT_EQ(messagelist::findCompletion({}, u""), -1);
}

} // namespace
