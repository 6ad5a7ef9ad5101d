#include "console/ConsoleHarness.h"

#include "exchange/IncomingText.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using console_testing::BenchConsole;
using console_testing::line;

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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Messages, WhatIsWritten, testing::Values(
    Written{"*IDN?", false, false, "*IDN?", true}, Written{"*IDN??", false, false, "*IDN", true},
    Written{"A??B??", false, false, "AB??", true}, Written{"MEAS:VOLT? 10", false, false, "MEAS:VOLT? 10", true},
    Written{"  CONF:VOLT 10 ", false, false, "CONF:VOLT 10", false}, Written{"<help>", false, false, "<help>", false},
    Written{"??", true, true, "", true}, // reads what the device still holds
    Written{"CONF", true, false, "CONF\r", false}, Written{"CONF", false, true, "CONF\n", false},
    Written{"CONF", true, true, "CONF\r\n", false}));
// clang-format on

TEST(SendCycle, AnswersGoOnTopOfTheViewAndTheCountIsTheLastOnes) {
    BenchConsole c;
    c.send(QStringLiteral("   ")); // spaces only: nothing at all
    EXPECT_TRUE(c.traceSinceMark().empty());
    QTest::keyClicks(c.incoming(), QStringLiteral("note"));
    c.type(QStringLiteral("*IDN?"));
    QTest::mouseClick(c.button("SendMessage"), Qt::LeftButton);
    c.deviceHolds(5, "a\0b\xff\r\nc\n"s);
    c.send(QStringLiteral("??"));
    EXPECT_EQ(c.view(), u"05: a\0b\u00ff\r\nc\r\n"s + line(5, kIdentity) + u"note");
    EXPECT_TRUE(c.incoming()->toPlainText().startsWith(QStringLiteral("05: a")));
    EXPECT_EQ(c.caption(), QStringLiteral("7 "));
    c.markTrace();
    c.send(QStringLiteral("*RST")); // a command empties the count, reads nothing
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
    c.boxes.answerNext(platform::Answer::Cancel);
    receive(1, 'b');
    EXPECT_EQ(c.view().size(), 32768u);
    receive(1, 'b'); // answered Ok
    EXPECT_EQ(c.view(), line(5, u"b"));
    receive(29253, 'c');
    EXPECT_EQ(c.view(), line(5, u"b"));
    EXPECT_EQ(c.caption(), QString());
    EXPECT_EQ(c.boxes.shown().size(), 3u);
}

TEST(SendCycle, AutoClearOnlyWhileEnabledAndAFailedWriteLeavesTheViewAndReadsNothingAfter) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.action("AutoClear")->setChecked(true);
    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(c.view(), line(5, kIdentity));
    c.action("AutoClear")->setEnabled(false);
    c.bus().detach(5);
    c.markTrace();
    c.send(QStringLiteral("MEAS:VOLT?"));
    c.send(QStringLiteral("??"));
    EXPECT_EQ(c.boxes.shown().front().title.substr(0, 4), u"GPIB");
    EXPECT_EQ(c.reads(), 0);
    EXPECT_EQ(c.view(), line(5, kIdentity));
    EXPECT_TRUE(c.list().contains(QStringLiteral("MEAS:VOLT?")));
}

TEST(IncomingView, ClearEmptiesViewCountLabelAndTheHelpEntryButNotTypedText) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.label("SyntaxErrorMessage")->show();
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    EXPECT_EQ(c.view() + c.incoming()->toPlainText().toStdU16String(), u"");
    EXPECT_EQ(c.caption(), QString());
    EXPECT_FALSE(c.label("SyntaxErrorMessage")->isVisible());
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*IDN?"));
    c.send(QStringLiteral("*IDN?"));
    c.box()->setCurrentIndex(0);
    c.action("ClrIncoming")->trigger();
    EXPECT_EQ(c.box()->currentIndex(), -1);
}

TEST(Help, TheEntryIsNeverWrittenButStillPreClearsAndShowsOnceUntilClear) {
    BenchConsole c;
    c.send(QStringLiteral("*IDN?"));
    c.form().console().SetSelectedMethod(*c.form().console().beginOperation(),
                                         syntaxcheck::kSerialPollMethod);
    c.markTrace();
    for (int twice = 0; twice < 2; ++twice) {
        c.box()->setCurrentIndex(0);
        c.enter();
        EXPECT_EQ(c.view(), exchange::HelpText(line(5, kIdentity)) + line(5, kIdentity));
    }
    EXPECT_TRUE(c.writes().empty());
    EXPECT_EQ(c.traceSinceMark().at(0).op, QStringLiteral("ibrsp"));
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    c.action("Help")->trigger();
    EXPECT_EQ(c.view(), exchange::HelpText(u""));
}

} // namespace
