#include "messagelist/EntryBox.h"

#include <gtest/gtest.h>

namespace {

using messagelist::completesOnRelease;
using messagelist::findCompletion;
using messagelist::trimSpaces;

TEST(CompletesOnRelease, NeverForEditingNavigationModifierAndFunctionKeys) {
    for (int key :
         {Qt::Key_Backspace, Qt::Key_Tab,     Qt::Key_Clear,    Qt::Key_Return, Qt::Key_Enter,
          Qt::Key_Shift,     Qt::Key_Control, Qt::Key_Alt,      Qt::Key_Pause,  Qt::Key_CapsLock,
          Qt::Key_Space,     Qt::Key_PageUp,  Qt::Key_PageDown, Qt::Key_End,    Qt::Key_Home,
          Qt::Key_Left,      Qt::Key_Up,      Qt::Key_Right,    Qt::Key_Down,   Qt::Key_Select,
          Qt::Key_Print,     Qt::Key_Execute, Qt::Key_Printer,  Qt::Key_Insert, Qt::Key_Delete,
          Qt::Key_Help,      Qt::Key_F1,      Qt::Key_F12,      Qt::Key_F16,    Qt::Key_NumLock})
        EXPECT_FALSE(completesOnRelease(key)) << std::hex << key;
}

TEST(CompletesOnRelease, ForCharactersAndTheKeysOutsideTheTable) {
    for (int key : {Qt::Key_A, Qt::Key_Z, Qt::Key_0, Qt::Key_9, Qt::Key_Question, Qt::Key_Asterisk,
                    Qt::Key_Less, Qt::Key_Colon, Qt::Key_Escape, Qt::Key_F17, Qt::Key_ScrollLock})
        EXPECT_TRUE(completesOnRelease(key)) << std::hex << key;
}

TEST(FindCompletion, FirstEntryBeginningWithTheTextLetterCaseIgnored) {
    const std::vector<std::u16string> list{u"<Help>", u"ID?", u"*IDN?", u"INIT", u"init:cont"};
    struct Case {
        std::u16string_view typed;
        int index;
    };
    for (const Case& c :
         {Case{u"I", 1}, Case{u"i", 1}, Case{u"IN", 3}, Case{u"INIT:", 4}, Case{u"*", 2},
          Case{u"<", 0}, Case{u"", 0}, Case{u"X", -1}, Case{u"ID?X", -1}, Case{u"id?", 1}})
        EXPECT_EQ(findCompletion(list, c.typed), c.index);
    EXPECT_EQ(findCompletion({}, u""), -1);
}

TEST(TrimSpaces, OnlySpacesAtBothEnds) {
    EXPECT_EQ(trimSpaces(u"  *RST  "), u"*RST");
    EXPECT_EQ(trimSpaces(u"   "), u"");
    EXPECT_EQ(trimSpaces(u""), u"");
    EXPECT_EQ(trimSpaces(u"\t*RST \t"), u"\t*RST \t");
    EXPECT_EQ(trimSpaces(u" A B "), u"A B");
}

} // namespace
