#include "console/ConsoleHarness.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

using ExchangeConsole = console_testing::BenchConsole;

// The entry box with the list of the completion examples.
struct EntryBox : testing::Test {
    EntryBox() {
        c.setList({QStringLiteral("<Help>"), QStringLiteral("ID?"), QStringLiteral("*IDN?"),
                   QStringLiteral("INIT")});
        c.check("CheckListForMatch")->setChecked(true);
        c.box()->setFocus();
    }
    QString selected() { return c.editor()->selectedText(); }
    ExchangeConsole c;
};

TEST_F(EntryBox, TheFirstMatchingEntryCompletesWithTheRestSelected) {
    c.type(QStringLiteral("I"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("ID?"));
    EXPECT_EQ(c.box()->currentIndex(), 1);
    EXPECT_EQ(selected(), QStringLiteral("D?"));

    c.type(QStringLiteral("N"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("INIT"));
    EXPECT_EQ(selected(), QStringLiteral("IT"));
    EXPECT_EQ(c.editor()->selectionStart(), 2);
}

TEST_F(EntryBox, SmallLettersCompleteToTheEntryAsStored) {
    c.type(QStringLiteral("id"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("ID?"));
    EXPECT_EQ(selected(), QStringLiteral("?"));
}

TEST_F(EntryBox, TextNoEntryBeginsWithStaysAsTypedWithTheCaretAfterIt) {
    c.type(QStringLiteral("MEAS"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("MEAS"));
    EXPECT_EQ(c.box()->currentIndex(), -1);
    EXPECT_EQ(c.editor()->cursorPosition(), 4);
    EXPECT_FALSE(c.editor()->hasSelectedText());
}

TEST_F(EntryBox, DeletingAndMovingNeverBringTheCompletionBack) {
    c.type(QStringLiteral("I"));
    c.key(Qt::Key_Backspace); // takes the selected "D?"
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("I"));
    c.key(Qt::Key_Backspace);
    EXPECT_EQ(c.box()->currentText(), QString());
    c.type(QStringLiteral("IN"));
    ASSERT_EQ(c.box()->currentText(), QStringLiteral("INIT"));
    c.key(Qt::Key_Delete);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("IN"));
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End, Qt::Key_Space}) {
        c.key(key);
        EXPECT_FALSE(c.editor()->hasSelectedText()) << key;
    }
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("IN "));
}

TEST_F(EntryBox, ALessThanSignCompletesToTheHelpEntry) {
    c.type(QStringLiteral("<"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("<Help>"));
    EXPECT_EQ(c.box()->currentIndex(), 0);
}

TEST_F(EntryBox, ALetterReleasedOverAnEmptyBoxSelectsTheHelpEntry) {
    QTest::keyRelease(c.editor(), Qt::Key_A);
    EXPECT_EQ(c.box()->currentIndex(), 0);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("<Help>"));
}

TEST_F(EntryBox, WithoutFindMatchingCommandsNothingCompletes) {
    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.type(QStringLiteral("I"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("I"));
}

TEST_F(EntryBox, TheDownArrowSkipsTheHelpEntry) {
    c.key(Qt::Key_Down);
    EXPECT_EQ(c.box()->currentIndex(), 1);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("ID?"));
    c.key(Qt::Key_Down);
    EXPECT_EQ(c.box()->currentIndex(), 2);
    c.key(Qt::Key_Up);
    c.key(Qt::Key_Up);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("<Help>"));
}

TEST_F(EntryBox, WithTheHelpEntryAloneTheDownArrowEmptiesTheBox) {
    c.setList({QStringLiteral("<Help>")});
    c.box()->setFocus();
    c.key(Qt::Key_Down);
    EXPECT_EQ(c.box()->currentText(), QString());
    EXPECT_EQ(c.box()->currentIndex(), -1);
}

TEST_F(EntryBox, EnterSendsTheTextAndDoesNothingInAnEmptyBox) {
    c.enter();
    EXPECT_TRUE(c.writes().empty());
    EXPECT_FALSE(c.button("SendMessage")->isEnabled());

    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.send(QStringLiteral("*RST"));
    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*RST")});
}

TEST_F(EntryBox, CapsTurnsTypedLettersIntoCapitalsOnly) {
    c.check("CheckListForMatch")->setChecked(false);
    c.check("Caps")->setChecked(true);
    c.box()->setFocus();
    c.type(QStringLiteral("meas:volt? 1e-3"));
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("MEAS:VOLT? 1E-3"));

    c.setList({QStringLiteral("<Help>"), QStringLiteral("conf:volt")});
    c.box()->setCurrentIndex(1);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("conf:volt"));
}

TEST_F(EntryBox, TheButtonsFollowTheText) {
    QPushButton* send = c.button("SendMessage");
    QPushButton* remove = c.button("DeleteOutgoingMessageEntry");
    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.type(QStringLiteral("X"));
    EXPECT_TRUE(send->isEnabled());
    EXPECT_TRUE(remove->isEnabled());
    c.key(Qt::Key_Backspace);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
}

TEST_F(EntryBox, AnEntryChosenPutsTheCaretAtItsEndAndTheFocusInTheBox) {
    c.incoming()->setFocus();
    c.box()->setCurrentIndex(2);
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
    EXPECT_EQ(c.editor()->cursorPosition(), 5);
    EXPECT_FALSE(c.editor()->hasSelectedText());
    EXPECT_TRUE(c.button("SendMessage")->isEnabled());
    EXPECT_TRUE(c.button("DeleteOutgoingMessageEntry")->isEnabled());
}

TEST_F(EntryBox, EditingAnEntryLeavesTheList) {
    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.box()->setCurrentIndex(3);
    c.key(Qt::Key_Home);
    c.type(QStringLiteral(":"));
    EXPECT_EQ(c.box()->currentIndex(), -1);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral(":INIT"));
    EXPECT_EQ(c.editor()->cursorPosition(), 1);
}

TEST_F(EntryBox, FocusComingBackPutsTheCaretAtTheEnd) {
    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.type(QStringLiteral("ABC"));
    c.key(Qt::Key_Home);
    c.incoming()->setFocus();
    c.box()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(c.editor()->cursorPosition(), 3);
    EXPECT_FALSE(c.editor()->hasSelectedText());
}

TEST_F(EntryBox, LeavingTheBoxTrimsTheSpacesAroundTheText) {
    c.check("CheckListForMatch")->setChecked(false);
    c.box()->setFocus();
    c.type(QStringLiteral("  *RST  "));
    c.incoming()->setFocus();
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*RST"));
}

} // namespace
