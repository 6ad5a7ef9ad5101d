#include "messagelist/ListConsole.h"

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
using testing::HasSubstr;

const QByteArray kDefaultFile = "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n";
const QStringList kDefaultList{"<Help>", "ID?", "*IDN?", "INIT", "FAC", "SET?"};

std::string writeError(const QString& path) {
    return "Can't write to the file " + path.toStdString() + ". It is probably write protected.";
}

TEST(MessageListStore, AFirstStartCreatesTheStartUpFileWithTheDefaultList) {
    ListConsole c;
    ASSERT_FALSE(QFileInfo::exists(c.startUpPath()));
    auto& form = c.start();

    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    EXPECT_EQ(c.list(), kDefaultList);
    EXPECT_TRUE(c.box().currentText().isEmpty());
    EXPECT_FALSE(form.state().MessageListChanged);
    EXPECT_FALSE(c.reloadEnabled());
    EXPECT_FALSE(c.button("SendMessage").isEnabled());
    EXPECT_FALSE(c.button("DeleteOutgoingMessageEntry").isEnabled());
    EXPECT_EQ(c.outGoingFile(), c.startUpPath());
    EXPECT_TRUE(c.h.boxes.shown().empty());
}

TEST(MessageListStore, AnExistingStartUpFileIsReadAndLeftAsItIs) {
    ListConsole c;
    const QByteArray file = "  *RST  \r\n\r\nMEAS?\r\n<Help>\rLF\nINSIDE\r\n\x80\xE9";
    c.seedStartUp(file);
    c.start();
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "*RST", "", "MEAS?", "<Help>", "LF\nINSIDE",
                                     QString::fromUtf16(u"\u20AC\u00E9")}));
    EXPECT_EQ(readBytes(c.startUpPath()), file);
    EXPECT_FALSE(c.changed());
}

TEST(MessageListStore, AnEmptyStartUpFileGivesOnlyHelp) {
    ListConsole c;
    c.seedStartUp("");
    c.start();
    EXPECT_EQ(c.list(), QStringList{"<Help>"});
    EXPECT_EQ(readBytes(c.startUpPath()), "");
}

// What the send cycle does with a new message: a new last entry, selected,
// and the list marked as changed.
void recordAsSent(ListConsole& c, const QString& message) {
    c.box().addItem(message);
    c.box().setCurrentIndex(c.box().count() - 1);
    c.changed() = true;
}

TEST(MessageListStore, AChangedListIsWrittenBackWhenTheCloseIsAnsweredYes) {
    ListConsole c;
    auto& form = c.start();
    recordAsSent(c, "  MEAS:VOLT?  ");
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile + "MEAS:VOLT?\r\n");
}

TEST(MessageListStore, NoAtTheCloseLeavesTheStartUpFileAlone) {
    ListConsole c;
    auto& form = c.start();
    recordAsSent(c, "MEAS:VOLT?");
    c.h.boxes.answerNext(platform::Answer::No);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
}

TEST(MessageListStore, AMessageSentThroughTheEntryBoxIsSavedOnCloseYes) {
    ListConsole c;
    auto& form = c.start();
    QTest::keyClicks(c.box().lineEdit(), "*CLS");
    c.button("SendMessage").click();
    ASSERT_TRUE(c.changed());
    ASSERT_TRUE(c.reloadEnabled());
    c.h.boxes.clear();
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile + "*CLS\r\n");
}

TEST(MessageListStore, AStartUpFileThatCannotBeOpenedIsReportedAndNeverReplaced) {
    ListConsole c;
    ASSERT_TRUE(QDir().mkpath(c.startUpPath() + "/kept"));
    c.start();
    const auto box = c.onlyBox();
    EXPECT_EQ(u8(box.title), "File Read error");
    EXPECT_THAT(u8(box.text), HasSubstr("Can't read the file " + c.startUpPath().toStdString()));
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::Exclamation);
    EXPECT_EQ(c.list(), QStringList{"<Help>"});
    EXPECT_TRUE(QFileInfo(c.startUpPath() + "/kept").isDir());
}

TEST(MessageListStore, AnUnwritableDefaultEndsTheReadAfterItsMessages) {
    ListConsole c;
    auto& form = c.start();
    c.setList({"<Help>", "A"});
    c.changed() = true;
    c.action("LoadStartupMessageList").setEnabled(true);
    // The start-up file now lies in a folder that does not exist.
    const QString missing = c.dataFolder() + "/gone/StartUp.gmg";
    form.state().StartUpFile = u16(missing);
    c.h.boxes.answerNext(platform::Answer::Yes);
    c.action("LoadStartupMessageList").trigger();

    const auto shown = c.h.boxes.shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(u8(shown[1].title), "File Write error");
    EXPECT_EQ(u8(shown[1].text), writeError(missing));
    EXPECT_EQ(u8(shown[2].title), "File Read error");
    EXPECT_EQ(c.list(), (QStringList{"<Help>", "A"}));
    EXPECT_TRUE(c.changed());
    EXPECT_FALSE(QFileInfo::exists(c.dataFolder() + "/gone"));
}

TEST(MessageListStore, AWriteProtectedStartUpFileIsReportedAndStaysWhole) {
    ListConsole c;
    auto& form = c.start();
    recordAsSent(c, "NEW");
    const QString before = c.outGoingFile();
    messagelist_testing::WriteProtection protection(c.startUpPath());
    if (!protection.holds()) GTEST_SKIP() << "this system cannot write-protect a file here";

    c.h.boxes.answerNext(platform::Answer::Yes);
    c.action("SaveMessageList").trigger();
    const auto saving = c.h.boxes.shown();
    c.h.boxes.clear();
    ASSERT_EQ(saving.size(), 2u);
    const auto& box = saving[1];
    EXPECT_EQ(u8(box.text), writeError(c.startUpPath()));
    EXPECT_EQ(u8(box.title), "File Write error");
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::Exclamation);
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    EXPECT_EQ(c.outGoingFile(), before);
    EXPECT_TRUE(c.changed());
    EXPECT_EQ(u16(QString::fromStdU16String(form.state().StartUpFile)), u16(c.startUpPath()));

    // The exit still asks, and a Yes there fails the same way.
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(form.close());
    const auto shown = c.h.boxes.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(u8(shown[0].title), "Exit");
    EXPECT_EQ(u8(shown[1].text), writeError(c.startUpPath()));
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
}

TEST(MessageListStore, AFullDiskAtTheSaveKeepsTheOldStartUpFile) {
    ListConsole c;
    c.start();
    recordAsSent(c, QString(2000, 'M'));
    c.button("ClearHistory").setEnabled(true);
    c.action("LoadStartupMessageList").setEnabled(true);
    c.h.boxes.answerNext(platform::Answer::Yes);
    {
        messagelist_testing::DiskFullAfter full(64);
        if (!full.holds()) GTEST_SKIP() << "this system has no file size limit";
        c.action("SaveMessageList").trigger();
    }
    const auto shown = c.h.boxes.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(u8(shown[1].text), writeError(c.startUpPath()));
    EXPECT_EQ(readBytes(c.startUpPath()), kDefaultFile);
    EXPECT_TRUE(c.changed());
    EXPECT_TRUE(c.reloadEnabled());
}

TEST(MessageListStore, AListOfAllByteValuesButCrRoundTripsThroughTheWindow) {
    ListConsole c;
    QByteArray file;
    for (int b = 0; b < 256; ++b) {
        if (b == '\r') continue;
        // One byte per line between markers, so neither a space is trimmed
        // nor an LF read as part of a CR LF.
        file += '#';
        file += static_cast<char>(b);
        file += "#\r\n";
    }
    file += "x y\r\n\r\n";
    c.seedStartUp(file);
    auto& form = c.start();
    form.state().MessageListChanged = true;
    ASSERT_TRUE(writeBytes(c.startUpPath(), "overwritten\r\n"));
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(readBytes(c.startUpPath()), file);
}

TEST(MessageListStore, AHugeFileIsCutAtTheLimitWithAMessage) {
    ListConsole c;
    c.start();
    QByteArray huge;
    for (int i = 0; i < 40000; ++i)
        huge += "L" + QByteArray::number(i) + "\r\n";
    const QString path = c.dataFolder() + "/huge.gmg";
    ASSERT_TRUE(writeBytes(path, huge));
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(path), u"huge.gmg"});
    c.action("ImportAlternateMessageList").trigger();

    const auto box = c.onlyBox();
    EXPECT_EQ(u8(box.title), "Message List too long");
    EXPECT_THAT(u8(box.text), HasSubstr("32766"));
    ASSERT_EQ(c.box().count(), 32767);
    EXPECT_EQ(c.box().itemText(32766), "L32765");
    EXPECT_EQ(readBytes(path), huge);
}

TEST(MessageListStore, BinaryFilesAndVeryLongLinesAreRead) {
    ListConsole c;
    c.start();
    QByteArray file(5000, 'A');
    file += "\r\n";
    for (int i = 0; i < 20000; ++i)
        file += static_cast<char>((i * 131) & 0xFF);
    const QString path = c.dataFolder() + "/binary.gmg";
    ASSERT_TRUE(writeBytes(path, file));
    c.h.fileDialogs.answerNext(platform::FileChoice{u16(path), u"binary.gmg"});
    c.action("ImportAlternateMessageList").trigger();
    EXPECT_TRUE(c.h.boxes.shown().empty());
    ASSERT_GT(c.box().count(), 2);
    EXPECT_EQ(c.box().itemText(1), QString(5000, 'A'));
}

} // namespace
