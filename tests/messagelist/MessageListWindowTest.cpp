// The files the message list commands write, and the entry box's keys.
#include "datafiles/WindowSteps.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

using namespace window_steps;

const QByteArray kDefaultFile = "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n";

TEST(MessageListWindow, AFirstStartWritesTheDefaultListAndAnUnreadableOneIsNeverReplaced) {
    ConsoleHarness h(console_testing::busWithDevicesAt({7}));
    h.start();
    EXPECT_EQ(read(file(h, "StartUp.gmg")), kDefaultFile);
    EXPECT_EQ(h.control<QLabel>("OutGoingFile")->text(), file(h, "StartUp.gmg"));
    ConsoleHarness blocked(console_testing::busWithDevicesAt({7}));
    ASSERT_TRUE(QDir().mkpath(file(blocked, "StartUp.gmg/kept")));
    blocked.start();
    EXPECT_EQ(blocked.boxes.shown().size(), 1u);
    EXPECT_TRUE(QDir(file(blocked, "StartUp.gmg/kept")).exists());
}

TEST(MessageListWindow, EachCommandReadsAndWritesItsFile) {
    ConsoleHarness h(console_testing::busWithDevicesAt({7}));
    h.start();
    ASSERT_TRUE(write(file(h, "StartUp.gmg"), "OLD\r\n"));
    run(h, "T:RestoreMessageList");
    EXPECT_EQ(read(file(h, "StartUp.gmg")), kDefaultFile);
    run(h, "W:b.gmg P:b.gmg T:ImportAlternateMessageList P:c.gmg T:SaveAlternateMessageList");
    EXPECT_EQ(h.control<QLabel>("OutGoingFile")->text(), file(h, "c.gmg"));
    EXPECT_EQ(read(file(h, "c.gmg")), "MEAS?\r\nCONF\r\n");
    run(h, "T:SaveMessageList");
    EXPECT_EQ(read(file(h, "StartUp.gmg")), "MEAS?\r\nCONF\r\n");

    const QString filter = "|GPIB Message Files (*.gmg)|*.gmg";
    EXPECT_EQ(asked(h, 0), "Open|Load Alternative Outgoing Message List|%1|" + filter);
    EXPECT_EQ(asked(h, 1), "Save|Save Alternate Outgoing Message List|%1|Message" + filter);
}

TEST(MessageListWindow, ASentMessageIsSavedAtTheCloseOnlyWhenAnsweredYes) {
    for (const bool yes : {true, false}) {
        ConsoleHarness h(console_testing::busWithDevicesAt({7}));
        h.start();
        run(h, yes ? "S:*CLS" : "S:*CLS N");
        EXPECT_TRUE(h.form().close());
        EXPECT_EQ(read(file(h, "StartUp.gmg")), yes ? kDefaultFile + "*CLS\r\n" : kDefaultFile);
    }
}

TEST(EntryBoxKeys, CompleteSkipHelpOnDownAndTrimOnLeaving) {
    ConsoleHarness h(console_testing::busWithDevicesAt({7}));
    h.start().show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h.form()));
    QLineEdit& editor = *entryBox(h).lineEdit();
    h.control<QCheckBox>("CheckListForMatch")->setChecked(true);
    run(h, "K:i");
    QTest::keyClicks(&editor, "n");
    EXPECT_EQ(entryBox(h).currentText(), "INIT");
    EXPECT_EQ(editor.selectedText(), "IT");
    QTest::keyClick(&editor, Qt::Key_Delete);
    EXPECT_EQ(entryBox(h).currentText(), "IN");
    run(h, "L:A");
    QTest::keyRelease(&editor, Qt::Key_A);
    EXPECT_EQ(entryBox(h).currentText(), "<Help>");
    QTest::keyClick(&editor, Qt::Key_Down);
    EXPECT_EQ(entryBox(h).currentText(), "A");
    run(h, "U:CheckListForMatch K:x");
    EXPECT_TRUE(h.control<QWidget>("SendMessage")->isEnabled());
    QTest::keyClick(&editor, Qt::Key_Backspace);
    EXPECT_FALSE(h.control<QWidget>("DeleteOutgoingMessageEntry")->isEnabled());
    h.control<QCheckBox>("Caps")->setChecked(true);
    type(h, "  meas? ");
    h.control<QWidget>("vrAddCR")->setFocus();
    EXPECT_EQ(entryBox(h).currentText(), "MEAS?");
}

} // namespace
