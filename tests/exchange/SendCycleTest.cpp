#include "console/ConsoleHarness.h"

#include "exchange/IncomingText.h"

#include <QMetaObject>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using console_testing::BenchConsole;
using console_testing::line;
using platform::Answer;

const std::u16string kIdentity = u"Vireon Sim,VDM-6500,SN000005,1.04.2";

struct Written {
    const char* typed;
    bool cr, lf;
    const char* written; // "" for nothing
    bool read;
};

class WhatIsWritten : public testing::TestWithParam<Written> {};

TEST_P(WhatIsWritten, AsTypedLessOneQuestionMarkPairAndTheListGetsTheEntryAsTyped) {
    const Written& w = GetParam();
    BenchConsole c;
    c.check("AllowMultipleCommands")->setChecked(true);
    c.check("vrAddCR")->setChecked(w.cr);
    c.check("vrAddLF")->setChecked(w.lf);
    c.deviceHolds(5, "pending\n");
    c.send(QString::fromLatin1(w.typed));

    EXPECT_EQ(c.writes(), *w.written ? std::vector<QString>{QString::fromLatin1(w.written)}
                                     : std::vector<QString>{});
    EXPECT_EQ(c.reads() > 0, w.read);
    EXPECT_EQ(c.list().last(), QString::fromLatin1(w.typed));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, WhatIsWritten,
    testing::Values(Written{"*IDN?", false, false, "*IDN?", true},
                    Written{"*IDN??", false, false, "*IDN", true},
                    Written{"A??B??", false, false, "AB??", true},
                    Written{"MEAS:VOLT? 10", false, false, "MEAS:VOLT? 10", true},
                    Written{"  CONF:VOLT 10 ", false, false, "CONF:VOLT 10", false},
                    Written{"<help>", false, false, "<help>", false},
                    Written{"??", true, true, "", true}, // reads what the device still holds
                    Written{"CONF", true, false, "CONF\r", false},
                    Written{"CONF", false, true, "CONF\n", false},
                    Written{"CONF", true, true, "CONF\r\n", false}));

TEST(SendCycle, SpacesOnlyDoNothingAndTheSendButtonRunsTheCycle) {
    BenchConsole c;
    c.send(QStringLiteral("   "));
    EXPECT_TRUE(c.traceSinceMark().empty());
    EXPECT_EQ(c.box()->count(), 4);
    c.type(QStringLiteral("*IDN?"));
    QTest::mouseClick(c.button("SendMessage"), Qt::LeftButton);
    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*IDN?")});
    EXPECT_EQ(c.view(), line(5, kIdentity));
    EXPECT_TRUE(c.incoming()->toPlainText().startsWith(QStringLiteral("05: Vireon Sim")));
}

TEST(SendCycle, AnswersGoOnTopTheCountIsTheLastOnesAndACommandEmptiesIt) {
    BenchConsole c;
    c.incoming()->setFocus();
    QTest::keyClicks(c.incoming(), QStringLiteral("note"));
    c.deviceHolds(5, "first\n");
    c.send(QStringLiteral("??"));
    c.deviceHolds(5, "a\0b\xff\r\nc\n"s);
    c.send(QStringLiteral("??"));
    EXPECT_EQ(c.view(), u"05: a\0b\u00ff\r\nc\r\n"s + line(5, u"first") + u"note");
    EXPECT_EQ(c.caption(), QStringLiteral("7 "));
    c.markTrace();
    c.send(QStringLiteral("*RST"));
    EXPECT_EQ(c.caption(), QString());
    EXPECT_EQ(c.reads(), 0);
}

TEST(SendCycle, AnAnswerTooLargeForTheViewIsRefusedOrReplacesItWhenTheOperatorSaysOk) {
    BenchConsole c;
    const auto receive = [&](std::size_t length, char fill) {
        c.deviceHolds(5, std::string(length, fill) + "\n");
        c.send(QStringLiteral("??"));
    };
    receive(29252, 'a');
    EXPECT_EQ(c.view().size(), 32768u);
    EXPECT_TRUE(c.boxes.shown().empty());
    c.boxes.answerNext(Answer::Cancel);
    receive(1, 'b');
    EXPECT_EQ(c.view().size(), 32768u);
    receive(1, 'b'); // answered Ok
    EXPECT_EQ(c.view(), line(5, u"b"));
    receive(29253, 'c');
    EXPECT_EQ(c.view(), line(5, u"b"));
    EXPECT_EQ(c.caption(), QString());
    EXPECT_EQ(c.boxes.shown().size(), 3u);
}

TEST(SendCycle, EntriesDifferingOnlyInCaseAreMatchedUnlessMultipleAreAllowed) {
    BenchConsole c;
    c.send(QStringLiteral("*idn?"));
    EXPECT_EQ(c.list().size(), 4);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*IDN?"));
    EXPECT_FALSE(c.form().state().MessageListChanged);

    c.check("AllowMultipleCommands")->setChecked(true);
    c.send(QStringLiteral("*idn?"));
    c.box()->setCurrentIndex(1); // an entry picked and sent unchanged is not added again
    c.enter();
    EXPECT_EQ(c.list().mid(4), QStringList{QStringLiteral("*idn?")});
    EXPECT_TRUE(c.form().state().MessageListChanged);
}

TEST(SendCycle, SelectNextStopsAtTheLastEntryAndStaysOnANewOne) {
    BenchConsole c;
    c.check("vrSelectNextListItem")->setChecked(true);
    c.box()->setCurrentIndex(2);
    c.enter();
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*RST"));
    c.enter();
    EXPECT_EQ(c.box()->currentIndex(), 3);
    c.send(QStringLiteral("CONF"));
    EXPECT_EQ(c.box()->currentIndex(), 4);
    c.box()->setCurrentIndex(0); // the help entry stands in the box again
    c.enter();
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("<Help>"));
    EXPECT_EQ(c.writes(), (std::vector<QString>{QStringLiteral("ID?"), QStringLiteral("*RST"),
                                                QStringLiteral("CONF")}));
}

TEST(SendCycle, AutoClearEmptiesTheViewBeforeAQueryOnlyWhileEnabled) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.action("AutoClear")->setChecked(true);
    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(c.view(), line(5, kIdentity));
    c.action("AutoClear")->setEnabled(false);
    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(c.view(), line(5, kIdentity) + line(5, kIdentity));
}

TEST(SendCycle, AFailedWriteLeavesTheViewRecordsTheMessageAndReadsNothingAfter) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.bus().detach(5);
    c.markTrace();
    c.send(QStringLiteral("MEAS:VOLT?"));
    EXPECT_EQ(c.boxes.shown().back().title.substr(0, 4), u"GPIB");
    EXPECT_EQ(c.view(), line(5, kIdentity));
    EXPECT_EQ(c.list().last(), QStringLiteral("MEAS:VOLT?"));
    c.send(QStringLiteral("??"));
    EXPECT_EQ(c.reads(), 0);
}

TEST(SendCycle, ASecondCycleStartedWhileTheFirstAwaitsItsAnswerIsRefused) {
    BenchConsole c;
    c.type(QStringLiteral("*IDN?"));
    QLineEdit* editor = c.editor();
    QMetaObject::invokeMethod(
        editor, [editor] { QTest::keyClick(editor, Qt::Key_Return); }, Qt::QueuedConnection);
    c.enter();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.writes().size(), 1u);
}

TEST(IncomingView, ClearEmptiesViewCountAndLabelAndTheHelpEntryInTheBox) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.label("SyntaxErrorMessage")->show();
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    EXPECT_TRUE(c.view().empty());
    EXPECT_TRUE(c.incoming()->toPlainText().isEmpty());
    EXPECT_EQ(c.caption(), QString());
    EXPECT_FALSE(c.label("SyntaxErrorMessage")->isVisible());
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*IDN?")); // a typed entry stays

    c.send(QStringLiteral("*IDN?"));
    c.box()->setCurrentIndex(0);
    c.action("ClrIncoming")->trigger();
    EXPECT_TRUE(c.view().empty());
    EXPECT_EQ(c.box()->currentIndex(), -1);
}

TEST(Help, TheEntryIsNeverWrittenButStillPreClearsAndShowsOnceUntilClear) {
    BenchConsole c;
    c.deviceHolds(5, "earlier\n");
    c.send(QStringLiteral("??"));
    {
        auto operation = c.form().console().beginOperation();
        c.form().console().SetSelectedMethod(*operation, syntaxcheck::kSerialPollMethod);
    }
    c.markTrace();
    c.box()->setCurrentIndex(0);
    c.enter();
    EXPECT_EQ(c.view(), exchange::HelpText(line(5, u"earlier")) + line(5, u"earlier"));
    EXPECT_TRUE(c.writes().empty());
    ASSERT_FALSE(c.traceSinceMark().empty());
    EXPECT_EQ(c.traceSinceMark().front().op, QStringLiteral("ibrsp"));

    const std::u16string once = c.view();
    c.box()->setCurrentIndex(0);
    c.enter();
    EXPECT_EQ(c.view(), once);
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    c.action("Help")->trigger();
    EXPECT_EQ(c.view(), exchange::HelpText(u""));
}

TEST(IncomingView, PrintMessageListIsOfferedToTheRestOfTheConsole) {
    BenchConsole c;
    static_cast<exchange::AnswerView&>(c.form().exchange()).PrintMessageList(u"No response");
    EXPECT_EQ(c.view(), line(5, u"No response"));
    EXPECT_EQ(c.caption(), QStringLiteral("11 "));
}

} // namespace
