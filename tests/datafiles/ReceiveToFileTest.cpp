#include "exchange/ReceiveToFile.h"
#include "console/ConsoleHarness.h"
#include "datafiles/FileBench.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using console_testing::ConsoleHarness;
using datafiles_testing::FileBench;
using datafiles_testing::fileBenchBus;
using datafiles_testing::fileBytes;
using datafiles_testing::patternByte;
using datafiles_testing::writeFile;
using platform::Answer;
using testing_support::utf8;

// The console with the file bench alone on the bus, so it is selected at
// start-up, and a folder for the data files.
struct ReceiveToFile : testing::Test {
    ReceiveToFile() : h(fileBenchBus(device)) {
        h.start().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&h.form()));
        EXPECT_TRUE(files.isValid());
        startUpCalls = h.traceLength();
    }

    QAction* action(const char* name) { return h.control<QAction>(name); }
    QString path(const QString& name) const {
        return QDir::toNativeSeparators(files.filePath(name));
    }
    void pick(const QString& name) {
        h.fileDialogs.answerNext(
            platform::FileChoice{path(name).toStdU16String(), name.toStdU16String()});
    }
    bool transfer(const std::u16string& outgoing) {
        auto operation = h.form().console().beginOperation();
        return h.form().receiveToFile().transfer(*operation, outgoing);
    }
    std::int16_t standingTimeout() {
        return h.form().session().binding.ibask(h.form().session().devices.DeviceHandle,
                                                bus::IbaTMO);
    }
    QString count() { return h.control<QLabel>("ReceivedCharacters")->text(); }
    // Driver calls since start-up.
    std::vector<console_testing::TraceCall> calls() {
        std::vector<console_testing::TraceCall> all = h.trace();
        all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(startUpCalls));
        return all;
    }
    int opsNamed(const char* op) {
        int n = 0;
        for (const auto& call : calls())
            n += call.op == QLatin1String(op);
        return n;
    }

    FileBench* device = nullptr;
    ConsoleHarness h;
    QTemporaryDir files;
    std::size_t startUpCalls = 0;
};

// ---------------------------------------------------------------------------
// The two modes, clicked through their menu entries.

struct ModeCase {
    const char* clicks; // 'o' the once entry, 'a' the all-the-time entry
    bool once;
    bool allTheTime;
};

class ModeClicks : public ReceiveToFile, public testing::WithParamInterface<ModeCase> {};

TEST_P(ModeClicks, LeaveTheDesignedStateAndMarkOnlyTheStoredOption) {
    const ModeCase c = GetParam();
    bool allClicked = false;
    for (const char* k = c.clicks; *k; ++k) {
        action(*k == 'o' ? "SendtoFileOnce" : "SendToFile")->trigger();
        allClicked = allClicked || *k == 'a';
    }
    EXPECT_EQ(action("SendtoFileOnce")->isChecked(), c.once);
    EXPECT_EQ(action("SendToFile")->isChecked(), c.allTheTime);
    EXPECT_EQ(action("AutoClear")->isEnabled(), !c.once && !c.allTheTime);
    EXPECT_EQ(h.form().state().SettingsChanged[console::FlagSendToFile], allClicked);
    EXPECT_EQ(console_testing::focusName(h.form()), QStringLiteral("SendMessageList"));
}

INSTANTIATE_TEST_SUITE_P(Menu, ModeClicks,
                         testing::Values(ModeCase{"o", true, false}, ModeCase{"a", false, true},
                                         ModeCase{"oo", false, false}, ModeCase{"aa", false, false},
                                         ModeCase{"oa", false, true}, ModeCase{"ao", true, false},
                                         ModeCase{"aoo", false, false}));

TEST_F(ReceiveToFile, TheSendCycleEndsTheOnceModeThroughItsHook) {
    action("SendtoFileOnce")->trigger();
    h.form().receiveToFile().SendtoFileOnce_Click();
    EXPECT_FALSE(action("SendtoFileOnce")->isChecked());
    EXPECT_TRUE(action("AutoClear")->isEnabled());
    EXPECT_FALSE(h.form().state().SettingsChanged[console::FlagSendToFile]);
}

// ---------------------------------------------------------------------------
// The transfer.

TEST_F(ReceiveToFile, FirstTransferWarnsThenReceivesTheAnswerByteForByte) {
    device->answer = std::string("\x00\x01\r\n,\"\xff\xfe"
                                 "end\r\n",
                                 13);
    h.control<QCheckBox>("vrAddCR")->setChecked(true);
    h.control<QCheckBox>("vrAddLF")->setChecked(true);
    h.form().state().SelectedDataFolder = files.path().toStdU16String();
    pick(QStringLiteral("scope.dat"));

    ASSERT_TRUE(transfer(u"DATA?"));

    ASSERT_EQ(h.boxes.shown().size(), 1u);
    const auto& warning = h.boxes.shown()[0];
    EXPECT_EQ(utf8(warning.title), "Warning");
    EXPECT_EQ(warning.buttons, platform::Buttons::YesNo);
    EXPECT_EQ(warning.icon, platform::Icon::Exclamation);
    EXPECT_EQ(utf8(warning.text),
              "NOTE!  For incoming data transfer to a file the timeout will be set to 100 secs "
              "which means that\n"
              "in case of a syntax error in the query the computer will appear locked for this "
              "amount of time.\n"
              "You may prevent this by enabling the Syntax Check feature. Also be aware of that "
              "the incoming\n"
              "data will not be displayed in the Incoming Data list.\n\n"
              "This message will be displayed only once.\n\n"
              "Do you wish to continue ?");

    ASSERT_EQ(h.fileDialogs.requests().size(), 1u);
    const platform::FileDialogRequest& asked = h.fileDialogs.requests()[0];
    EXPECT_EQ(asked.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(utf8(asked.title), "Save Incoming Message to File");
    EXPECT_EQ(asked.fileName, u"Data");
    EXPECT_EQ(asked.filter, u"Data Files (*.dat)|*.dat");
    EXPECT_EQ(asked.folder, files.path().toStdU16String());

    // Line ends are never added in this mode.
    EXPECT_EQ(device->received, "DATA?");
    EXPECT_EQ(fileBytes(path(QStringLiteral("scope.dat"))),
              QByteArray(device->answer.data(), static_cast<qsizetype>(device->answer.size())));
    EXPECT_EQ(count(), QStringLiteral("13 "));
    EXPECT_TRUE(h.control<QPushButton>("ClearIncoming")->isEnabled());
    EXPECT_TRUE(action("ClrIncoming")->isEnabled());
    EXPECT_EQ(standingTimeout(), bus::T3s);
    EXPECT_EQ(h.form().state().SelectedDataFolder,
              QDir::toNativeSeparators(files.path()).toStdU16String());
    EXPECT_EQ(h.form().cursor().shape(), Qt::ArrowCursor);
    // Nothing is left beside the file.
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{QStringLiteral("scope.dat")});

    // The long time-out only for the read, the standing one restored after.
    std::vector<int> timeouts;
    for (const auto& call : calls()) {
        if (call.op == QLatin1String("ibtmo")) timeouts.push_back(call.args[1].toInt());
    }
    EXPECT_EQ(timeouts, (std::vector<int>{bus::T100s, bus::T3s}));
    EXPECT_EQ(opsNamed("ibrdfA"), 1);

    // Later transfers in the run go straight to the dialog.
    h.boxes.clear();
    pick(QStringLiteral("again.dat"));
    EXPECT_TRUE(transfer(u"DATA?"));
    EXPECT_TRUE(h.boxes.shown().empty());
    EXPECT_EQ(fileBytes(path(QStringLiteral("again.dat"))).size(), 13);
}

TEST_F(ReceiveToFile, NoToTheWarningSendsNothingAndTheWarningComesAgain) {
    h.boxes.answerNext(Answer::No);
    EXPECT_FALSE(transfer(u"DATA?"));
    EXPECT_TRUE(h.fileDialogs.requests().empty());
    EXPECT_EQ(device->messages, 0);
    EXPECT_EQ(opsNamed("ibwrt"), 0);

    h.boxes.answerNext(Answer::No);
    EXPECT_FALSE(transfer(u"DATA?"));
    EXPECT_EQ(h.boxes.shown().size(), 2u);
}

TEST_F(ReceiveToFile, CancelInTheDialogSendsNothingAndKeepsTheFolder) {
    h.form().state().SelectedDataFolder = u"/somewhere";
    EXPECT_FALSE(transfer(u"DATA?"));
    EXPECT_EQ(h.fileDialogs.requests().size(), 1u);
    EXPECT_EQ(device->messages, 0);
    EXPECT_EQ(h.form().state().SelectedDataFolder, u"/somewhere");
    // The warning was answered Yes: it is not shown again.
    h.boxes.clear();
    EXPECT_FALSE(transfer(u"DATA?"));
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST_F(ReceiveToFile, ADeviceThatDoesNotAnswerTimesOutAndAnOlderFileStays) {
    ASSERT_TRUE(writeFile(path(QStringLiteral("old.dat")), "keep me"));
    pick(QStringLiteral("old.dat"));
    h.boxes.answerNext(Answer::Yes);

    EXPECT_TRUE(transfer(u"NO ANSWER"));

    ASSERT_EQ(h.boxes.shown().size(), 2u);
    const auto& box = h.boxes.shown()[1];
    EXPECT_EQ(utf8(box.title), "Timeout Has Occured");
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::Exclamation);
    EXPECT_EQ(utf8(box.text),
              "This may be due to either a syntax error or a transfer longer than 100 secs. In "
              "the latter case the\n"
              "data transfer may be incomplete and there is probably remaining data in the "
              "device's output buffer.\n"
              "To clear, uncheck \"Send Received Data to File\" and send a single questionmark "
              "(?).");
    EXPECT_EQ(count(), QStringLiteral("0 "));
    EXPECT_EQ(standingTimeout(), bus::T3s);
    EXPECT_EQ(fileBytes(path(QStringLiteral("old.dat"))), QByteArray("keep me"));
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.dat")});
}

TEST_F(ReceiveToFile, AFolderThatTakesNoFileIsReportedBeforeTheDeviceIsAsked) {
    pick(QStringLiteral("missing/folder/data.dat"));
    EXPECT_FALSE(transfer(u"DATA?"));
    ASSERT_EQ(h.boxes.shown().size(), 2u);
    EXPECT_EQ(utf8(h.boxes.shown()[1].title), "Receive Data to File");
    EXPECT_NE(utf8(h.boxes.shown()[1].text).find("missing"), std::string::npos);
    EXPECT_EQ(device->messages, 0);
    EXPECT_EQ(opsNamed("ibrdfA"), 0);
}

TEST_F(ReceiveToFile, AnEmptyMessageIsStillWrittenAndWhatTheDeviceHoldsIsReceived) {
    h.bus().instrument(7)->queueOutput("left over\n");
    pick(QStringLiteral("rest.dat"));
    EXPECT_TRUE(transfer(u""));
    EXPECT_EQ(opsNamed("ibwrt"), 1);
    EXPECT_EQ(fileBytes(path(QStringLiteral("rest.dat"))), QByteArray("left over\n"));
}

TEST_F(ReceiveToFile, ALargeAnswerArrivesWhole) {
    device->generatedSize = 48u << 20;
    pick(QStringLiteral("big.dat"));
    ASSERT_TRUE(transfer(u"CURV?"));

    EXPECT_EQ(count(), QStringLiteral("50331648 "));
    QFile file(path(QStringLiteral("big.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_EQ(file.size(), qint64{48} << 20);
    std::uint64_t offset = 0;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            ASSERT_EQ(chunk[i], patternByte(offset + static_cast<std::uint64_t>(i)))
                << "at " << offset + static_cast<std::uint64_t>(i);
        }
        offset += static_cast<std::uint64_t>(chunk.size());
    }
}

// ---------------------------------------------------------------------------
// Through the send cycle.

struct ThroughSend : ReceiveToFile {
    void send(const QString& entry) {
        QComboBox* box = h.control<QComboBox>("SendMessageList");
        // The outgoing list always leads with the help entry.
        if (box->findText(QStringLiteral("<Help>")) != 0)
            box->insertItem(0, QStringLiteral("<Help>"));
        box->setFocus();
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), entry);
        QTest::mouseClick(h.control<QPushButton>("SendMessage"), Qt::LeftButton);
    }
};

TEST_F(ThroughSend, ATypedQueryInTheOnceModeGoesToTheFileAndEndsTheMode) {
    action("SendtoFileOnce")->trigger();
    pick(QStringLiteral("once.dat"));

    send(QStringLiteral("DATA?"));

    EXPECT_EQ(device->received, "DATA?");
    EXPECT_EQ(fileBytes(path(QStringLiteral("once.dat"))), QByteArray("answer\n"));
    EXPECT_EQ(count(), QStringLiteral("7 "));
    EXPECT_EQ(h.control<QComboBox>("SendMessageList")->findText(QStringLiteral("DATA?")) > 0, true);
    EXPECT_FALSE(action("SendtoFileOnce")->isChecked());
    EXPECT_TRUE(action("AutoClear")->isEnabled());
}

TEST_F(ThroughSend, TheAllTheTimeModeStaysOnAndABareDoubleQuestionMarkWritesNothing) {
    action("SendToFile")->trigger();
    pick(QStringLiteral("first.dat"));
    send(QStringLiteral("DATA?"));
    h.bus().instrument(7)->queueOutput("still here");
    pick(QStringLiteral("second.dat"));
    send(QStringLiteral("??"));

    EXPECT_EQ(device->received, "DATA?");
    EXPECT_EQ(fileBytes(path(QStringLiteral("first.dat"))), QByteArray("answer\n"));
    EXPECT_EQ(fileBytes(path(QStringLiteral("second.dat"))), QByteArray("still here"));
    EXPECT_TRUE(action("SendToFile")->isChecked());
    EXPECT_FALSE(action("AutoClear")->isEnabled());
    EXPECT_EQ(h.boxes.shown().size(), 1u); // the warning, once
}

TEST_F(ThroughSend, RefusingTheWarningKeepsATypedMessageOutOfTheList) {
    action("SendtoFileOnce")->trigger();
    h.boxes.answerNext(Answer::No);
    send(QStringLiteral("NEVER?"));
    EXPECT_EQ(device->messages, 0);
    EXPECT_EQ(h.control<QComboBox>("SendMessageList")->findText(QStringLiteral("NEVER?")), -1);
    EXPECT_TRUE(action("SendtoFileOnce")->isChecked());
}

} // namespace
