#include "messagelist/ListConsole.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using messagelist_testing::ListConsole;
using messagelist_testing::readBytes;
using messagelist_testing::u16;
using messagelist_testing::u8;
using messagelist_testing::writeBytes;
using platform::Answer;

const QByteArray kDefaultFile = "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n";
const QStringList kDefaultList{"<Help>", "ID?", "*IDN?", "INIT", "FAC", "SET?"};

const std::string kDiscard =
    "Select Yes to continue without saving the current Outgoing Message List.\n\n"
    "Select No if you want to save the current Outgoing Message List and go to MessageLists "
    "Menu.\n\n";

const std::string kSortText = "This will sort the entries in the current Outgoing Message List. \n"
                              "It can't be undone but nothing will be saved.\n\n"
                              "Do wish to continue ?";

std::string clearText(bool withX) {
    return std::string("This will clear ALL entries in the current Outgoing Message List.\n") +
           (withX ? "Select the Clear Messages button [X] if you want to clear only the "
                    "currently shown Outgoing Message.\n\n"
                  : "\n") +
           "Select Yes to continue without saving the current Outgoing List.\n"
           "If you want to save the List select No and then go to MessageLists Menu.\n\n"
           "Do wish to continue ?";
}

std::string reloadText(bool changed) {
    return "This will reload the start up Outgoing Message List.\n\n" +
           (changed ? kDiscard : std::string()) + "Do wish to continue ?";
}

const std::string kRestoreText = "This will restore the Outgoing Message List with default "
                                 "values and save it to the start up file.\n\n" +
                                 kDiscard + "Do wish to continue ?";

const std::string kImportText = "This will load an alternate Outgoing Message List. The "
                                "current Outgoing Message List will be discarded.\n\n" +
                                kDiscard + "Do wish to continue ?";

const std::string kSaveText = "This will save the current Outgoing Message List to the file "
                              "which is loaded at start up.\n\nDo wish to continue ?";

void expectQuestion(const testing_support::ScriptedMessageBoxes::Shown& box,
                    const std::string& text, const char* title,
                    platform::Icon icon = platform::Icon::Question) {
    EXPECT_EQ(u8(box.text), text);
    EXPECT_EQ(u8(box.title), title);
    EXPECT_EQ(box.buttons, platform::Buttons::YesNo);
    EXPECT_EQ(box.icon, icon);
}

// A started console whose list, flag and reload controls the test sets.
class MessageListCommands : public testing::Test {
protected:
    void SetUp() override {
        c.start();
        c.h.boxes.clear();
    }
    // Takes the focus away, so a command is seen to bring it back.
    void focusElsewhere() { c.h.control<QCheckBox>("vrAddCR")->setFocus(); }
    void expectFocusInTheEntryBox() { EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList")); }

    ListConsole c;
};

// ---- Sort ----------------------------------------------------------------

TEST_F(MessageListCommands, SortOrdersTheListAndMarksItChanged) {
    c.setList({"<Help>", "SET?", "*IDN?", "set?"});
    c.box().setCurrentIndex(1);
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    c.action("SortMessageList").trigger();

    expectQuestion(c.onlyBox(), kSortText, "Sort Outgoing Messages");
    ASSERT_EQ(c.list().size(), 4);
    EXPECT_EQ(c.list()[0], "<Help>");
    EXPECT_EQ(c.list()[1], "*IDN?");
    EXPECT_EQ(c.list()[2].toUpper(), "SET?");
    EXPECT_EQ(c.list()[3].toUpper(), "SET?");
    EXPECT_TRUE(c.box().currentText().isEmpty());
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, SortOfTheDefaultListAndOfAListWithoutHelp) {
    c.h.boxes.answerNext(Answer::Yes);
    c.action("SortMessageList").trigger();
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "*IDN?", "FAC", "ID?", "INIT", "SET?"}));

    c.setList({"b", "A"});
    c.h.boxes.answerNext(Answer::Yes);
    c.action("SortMessageList").trigger();
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "A", "b"}));
}

TEST_F(MessageListCommands, SortAnsweredNoChangesNothing) {
    focusElsewhere();
    c.h.boxes.answerNext(Answer::No);
    c.action("SortMessageList").trigger();
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled());
    expectFocusInTheEntryBox();
}

// ---- Clear ---------------------------------------------------------------

TEST_F(MessageListCommands, ClearWithTextInTheBoxMentionsTheXButton) {
    c.box().setCurrentIndex(2);
    c.h.boxes.answerNext(Answer::No);
    c.action("ClrMessageList").trigger();
    expectQuestion(c.onlyBox(), clearText(true), "Clear Outgoing Messages");
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_FALSE(c.changed());
}

TEST_F(MessageListCommands, ClearLeavesOnlyHelp) {
    c.box().setCurrentIndex(-1);
    c.box().clearEditText();
    c.button("DeleteOutgoingMessageEntry").setEnabled(true);
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    c.action("ClrMessageList").trigger();

    expectQuestion(c.onlyBox(), clearText(false), "Clear Outgoing Messages");
    EXPECT_EQ(c.list(), QStringList{"<Help>"});
    EXPECT_TRUE(c.box().currentText().isEmpty());
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
    EXPECT_FALSE(c.button("DeleteOutgoingMessageEntry").isEnabled());
    expectFocusInTheEntryBox();
}

// ---- Delete ---------------------------------------------------------------

class MessageListDelete : public MessageListCommands {
protected:
    void SetUp() override {
        MessageListCommands::SetUp();
        c.setList({"<Help>", "A", "B", "C"});
    }
    void clickX() {
        c.button("DeleteOutgoingMessageEntry").setEnabled(true);
        QTest::mouseClick(&c.button("DeleteOutgoingMessageEntry"), Qt::LeftButton);
    }
};

TEST_F(MessageListDelete, TheSecondEntryGivesWayToTheOneBelow) {
    c.box().setCurrentIndex(1);
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    clickX();
    expectQuestion(c.onlyBox(),
                   "Do you really want to delete the selected entry in Outgoing Message List ?",
                   "Delete Entry", platform::Icon::None);
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "B", "C"}));
    EXPECT_EQ(c.box().currentIndex(), 1);
    EXPECT_EQ(c.box().currentText(), "B");
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
    EXPECT_TRUE(c.button("SendMessage").isEnabled());
    EXPECT_TRUE(c.button("DeleteOutgoingMessageEntry").isEnabled());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListDelete, TheLastEntryGivesWayToTheOneAbove) {
    c.box().setCurrentIndex(3);
    c.h.boxes.answerNext(Answer::Yes);
    clickX();
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "A", "B"}));
    EXPECT_EQ(c.box().currentIndex(), 2);
    EXPECT_EQ(c.box().currentText(), "B");
}

TEST_F(MessageListDelete, TheOnlyEntryLeavesHelpSelected) {
    c.setList({"<Help>", "A"});
    c.box().setCurrentIndex(1);
    c.h.boxes.answerNext(Answer::Yes);
    clickX();
    EXPECT_EQ(c.list(), QStringList{"<Help>"});
    EXPECT_EQ(c.box().currentIndex(), 0);
    EXPECT_EQ(c.box().currentText(), "<Help>");
}

TEST_F(MessageListDelete, AnsweredNoKeepsTheEntry) {
    c.box().setCurrentIndex(2);
    focusElsewhere();
    c.h.boxes.answerNext(Answer::No);
    clickX();
    EXPECT_EQ(c.h.boxes.shown().size(), 1u);
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "A", "B", "C"}));
    EXPECT_EQ(c.box().currentText(), "B");
    EXPECT_FALSE(c.changed());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListDelete, TypedTextOrTheHelpEntryIsOnlyCleared) {
    // Typed text selects nothing, even when it equals an entry.
    c.h.control<QCheckBox>("CheckListForMatch")->setChecked(false);
    c.h.control<QCheckBox>("Caps")->setChecked(false);
    c.box().setCurrentIndex(2);
    c.box().lineEdit()->clear();
    QTest::keyClicks(c.box().lineEdit(), "B");
    ASSERT_EQ(c.box().currentText(), "B");
    focusElsewhere();
    clickX();
    EXPECT_TRUE(c.h.boxes.shown().empty());
    EXPECT_TRUE(c.box().currentText().isEmpty());
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "A", "B", "C"}));
    expectFocusInTheEntryBox();

    c.box().setCurrentIndex(0);
    clickX();
    EXPECT_TRUE(c.h.boxes.shown().empty());
    EXPECT_TRUE(c.box().currentText().isEmpty());
    EXPECT_EQ(c.list().size(), 4);
    EXPECT_FALSE(c.changed());
}

// ---- Reload --------------------------------------------------------------

TEST_F(MessageListCommands, ReloadOfAnUnchangedListAsksOnlyTheFirstLine) {
    // As after an alternate list was saved: unchanged, yet not the start-up list.
    c.action("LoadStartupMessageList").setEnabled(true);
    c.h.boxes.answerNext(Answer::No);
    c.action("LoadStartupMessageList").trigger();
    expectQuestion(c.onlyBox(), reloadText(false), "Reload Start Up Outgoing Messages");
}

TEST_F(MessageListCommands, TheRestoreButtonReloadsTheStartUpList) {
    c.setList({"<Help>", "X"});
    c.changed() = true;
    c.button("ClearHistory").setEnabled(true);
    c.action("LoadStartupMessageList").setEnabled(true);
    ASSERT_TRUE(writeBytes(c.startUpPath(), "FROM FILE\r\n"));
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    QTest::mouseClick(&c.button("ClearHistory"), Qt::LeftButton);

    expectQuestion(c.onlyBox(), reloadText(true), "Reload Start Up Outgoing Messages");
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "FROM FILE"}));
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled());
    EXPECT_EQ(c.outGoingFile(), c.startUpPath());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, ReloadAnsweredNoKeepsTheChangedList) {
    c.setList({"<Help>", "X"});
    c.changed() = true;
    c.action("LoadStartupMessageList").setEnabled(true);
    c.h.boxes.answerNext(Answer::No);
    c.action("LoadStartupMessageList").trigger();
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "X"}));
    EXPECT_TRUE(c.changed());
}

// ---- Restore -------------------------------------------------------------

TEST_F(MessageListCommands, RestoreWritesAndReadsTheDefaultList) {
    ASSERT_TRUE(writeBytes(c.startUpPath(), "OLD\r\n"));
    c.setList({"<Help>", "X"});
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    c.action("RestoreMessageList").trigger();

    expectQuestion(c.onlyBox(), kRestoreText, "Restore Outgoing Messages");
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, RestoreOverAProtectedStartUpFileChangesNothing) {
    ASSERT_TRUE(writeBytes(c.startUpPath(), "OLD\r\n"));
    c.setList({"<Help>", "X"});
    c.changed() = true;
    messagelist_testing::WriteProtection protection(c.startUpPath());
    if (!protection.holds()) GTEST_SKIP() << "this system cannot write-protect a file here";
    c.h.boxes.answerNext(Answer::Yes);
    c.action("RestoreMessageList").trigger();

    const auto shown = c.h.boxes.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(u8(shown[1].title), "File Write error");
    EXPECT_EQ(readBytes(c.startUpPath()), "OLD\r\n");
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "X"}));
    EXPECT_TRUE(c.changed());
}

TEST_F(MessageListCommands, RestoreAnsweredNoWritesNothing) {
    ASSERT_TRUE(writeBytes(c.startUpPath(), "OLD\r\n"));
    c.h.boxes.answerNext(Answer::No);
    c.action("RestoreMessageList").trigger();
    EXPECT_EQ(readBytes(c.startUpPath()), "OLD\r\n");
    EXPECT_EQ(c.list(), kDefaultList);
}

// ---- Load an alternate list ------------------------------------------------

TEST_F(MessageListCommands, LoadingAnAlternateListWithNoChangesAsksNothingFirst) {
    const QString path = c.dataFolder() + "/bench.gmg";
    ASSERT_TRUE(writeBytes(path, "MEAS?\r\nCONF\r\n"));
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(path), u"bench.gmg"});
    focusElsewhere();
    c.action("ImportAlternateMessageList").trigger();

    EXPECT_TRUE(c.h.boxes.shown().empty());
    ASSERT_EQ(c.h.fileDialogs.requests().size(), 1u);
    const platform::FileDialogRequest& request = c.h.fileDialogs.requests().front();
    EXPECT_EQ(request.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(u8(request.title), "Load Alternative Outgoing Message List");
    EXPECT_EQ(request.folder, u16(c.dataFolder()));
    EXPECT_TRUE(request.fileName.empty());
    EXPECT_EQ(u8(request.filter), "GPIB Message Files (*.gmg)|*.gmg");

    EXPECT_EQ(c.list(), (QStringList{"<Help>", "MEAS?", "CONF"}));
    EXPECT_EQ(c.outGoingFile(), path);
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, LoadingOverAChangedListAsksAndNoStopsBeforeTheDialog) {
    c.changed() = true;
    c.h.boxes.answerNext(Answer::No);
    focusElsewhere();
    c.action("ImportAlternateMessageList").trigger();
    expectQuestion(c.onlyBox(), kImportText, "Load Alternate Outgoing Messages");
    EXPECT_TRUE(c.h.fileDialogs.requests().empty());
    EXPECT_EQ(c.list(), kDefaultList);
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, ACancelledLoadChangesNothing) {
    c.action("ImportAlternateMessageList").trigger();
    EXPECT_EQ(c.h.fileDialogs.requests().size(), 1u);
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled());
}

TEST_F(MessageListCommands, AnAlternateListThatCannotBeReadNeverTouchesTheStartUpFile) {
    ASSERT_TRUE(QFile::remove(c.startUpPath()));
    const QString vanished = c.dataFolder() + "/vanished.gmg";
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(vanished), u"vanished.gmg"});
    c.action("ImportAlternateMessageList").trigger();

    const auto box = c.onlyBox();
    EXPECT_EQ(u8(box.title), "File Read error");
    EXPECT_THAT(u8(box.text), testing::HasSubstr(vanished.toStdString()));
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(QFileInfo::exists(c.startUpPath()));
    EXPECT_EQ(c.outGoingFile(), c.startUpPath());
}

// ---- Save an alternate list -------------------------------------------------

TEST_F(MessageListCommands, SavingAnAlternateListWritesItAndRemembersItsRealFolder) {
    // A folder whose name contains the file's name.
    const QString folder = c.dataFolder() + QDir::separator() + "Message.gmg";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QDir::separator() + "Message.gmg";
    c.setList({"<Help>", " A ", "", "<Help>", "A"});
    c.changed() = true;
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(path), u"Message.gmg"});
    focusElsewhere();
    c.action("SaveAlternateMessageList").trigger();

    EXPECT_TRUE(c.h.boxes.shown().empty());
    ASSERT_EQ(c.h.fileDialogs.requests().size(), 1u);
    const platform::FileDialogRequest& request = c.h.fileDialogs.requests().front();
    EXPECT_EQ(request.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(u8(request.title), "Save Alternate Outgoing Message List");
    EXPECT_EQ(request.folder, u16(c.dataFolder()));
    EXPECT_EQ(u8(request.fileName), "Message");
    EXPECT_EQ(u8(request.filter), "GPIB Message Files (*.gmg)|*.gmg");

    EXPECT_EQ(readBytes(path), "A\r\n\r\nA\r\n");
    EXPECT_EQ(c.h.form().state().SelectedDataFolder, u16(folder));
    EXPECT_EQ(c.outGoingFile(), path);
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled()); // as it was
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, AFailedAlternateSaveStillRemembersTheFolder) {
    const QString folder = c.dataFolder() + QDir::separator() + "taken";
    ASSERT_TRUE(QDir().mkpath(folder + QDir::separator() + "list.gmg"));
    c.changed() = true;
    c.button("ClearHistory").setEnabled(true);
    c.action("LoadStartupMessageList").setEnabled(true);
    const QString path = folder + QDir::separator() + "list.gmg";
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(path), u"list.gmg"});
    c.action("SaveAlternateMessageList").trigger();

    const auto box = c.onlyBox();
    EXPECT_EQ(u8(box.text), "Can't write to the file " + path.toStdString() +
                                ". It is probably write protected.");
    EXPECT_EQ(c.h.form().state().SelectedDataFolder, u16(folder));
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(c.outGoingFile(), c.startUpPath());
}

TEST_F(MessageListCommands, ACancelledAlternateSaveChangesNothing) {
    c.changed() = true;
    const std::u16string folderBefore = c.h.form().state().SelectedDataFolder;
    c.action("SaveAlternateMessageList").trigger();
    EXPECT_TRUE(c.h.boxes.shown().empty());
    EXPECT_TRUE(c.changed());
    EXPECT_EQ(c.h.form().state().SelectedDataFolder, folderBefore);
}

// ---- Save to the start-up file -------------------------------------------------

TEST_F(MessageListCommands, SaveWritesTheStartUpFileAndClearsTheMarks) {
    c.setList({"<Help>", "MEAS?"});
    c.changed() = true;
    c.button("ClearHistory").setEnabled(true);
    c.action("LoadStartupMessageList").setEnabled(true);
    focusElsewhere();
    c.h.boxes.answerNext(Answer::Yes);
    c.action("SaveMessageList").trigger();

    expectQuestion(c.onlyBox(), kSaveText, "Save Outgoing Messages");
    EXPECT_EQ(readBytes(c.startUpPath()), "MEAS?\r\n");
    EXPECT_FALSE(c.changed());
    EXPECT_FALSE(c.reloadEnabled());
    EXPECT_EQ(c.outGoingFile(), c.startUpPath());
    expectFocusInTheEntryBox();
}

TEST_F(MessageListCommands, SaveAnsweredNoWritesNothing) {
    c.setList({"<Help>", "MEAS?"});
    c.changed() = true;
    c.h.boxes.answerNext(Answer::No);
    c.action("SaveMessageList").trigger();
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    EXPECT_TRUE(c.changed());
}

} // namespace
