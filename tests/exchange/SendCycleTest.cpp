#include "console/ConsoleHarness.h"

#include "exchange/IncomingText.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace std::string_literals;
using namespace console_testing;

const std::u16string kIdentity = u"Vireon Sim,VDM-6500,SN000005,1.04.2";

struct Written {
    const char* name;
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

const Written kWritten[] = {
    {"Query", "*IDN?", false, false, "*IDN?", true},
    {"PairAtTheEnd", "*IDN??", false, false, "*IDN", true},
    {"FirstPairOnly", "A??B??", false, false, "AB??", true},
    {"QueryWithArgument", "MEAS:VOLT? 10", false, false, "MEAS:VOLT? 10", true},
    {"CommandTrimmed", "  CONF:VOLT 10 ", false, false, "CONF:VOLT 10", false},
    {"HelpTyped", "<help>", false, false, "<help>", false},
    {"PairAlone", "??", true, true, "", true}, // reads what the device still holds
    {"AddCr", "CONF", true, false, "CONF\r", false},
    {"AddLf", "CONF", false, true, "CONF\n", false},
    {"AddCrLf", "CONF", true, true, "CONF\r\n", false}};
INSTANTIATE_TEST_SUITE_P(Messages, WhatIsWritten, testing::ValuesIn(kWritten),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SendCycle, AnswersGoOnTopOfTheViewAndTheCountIsTheLastOnes) {
    BenchConsole c;
    run(c, "K:___ k:Return"); // spaces only: nothing at all
    EXPECT_TRUE(c.traceSinceMark().empty());
    QTest::keyClicks(c.incoming(), QStringLiteral("note"));
    run(c, "S:*IDN?");
    c.deviceHolds(5, "a\0b\xff\r\nc\n"s);
    run(c, "S:?? =:ReceivedCharacters.text=7_");
    EXPECT_EQ(c.view(), u"05: a\0b\u00ff\r\nc\r\n"s + line(5, kIdentity) + u"note");
    EXPECT_TRUE(c.incoming()->toPlainText().startsWith(QStringLiteral("05: a")));
    c.markTrace();
    run(c, "S:*RST =:ReceivedCharacters.text="); // a command empties the count, reads nothing
    EXPECT_EQ(c.reads(), 0);

    // Each exchange is kept in the history, the bare read and the command too.
    const core::History& history = c.form().history();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(core::shownSent(history[0]) + "|" + core::shownAnswer(history[0]).substr(0, 10),
              "*IDN?|Vireon Sim");
    EXPECT_EQ(core::shownSent(history[1]) + "|" + core::shownAnswer(history[1]),
              "|a\\x00b\xC3\xBF\\r\\nc");
    EXPECT_EQ(core::shownSent(history[2]) + "|" + core::shownAnswer(history[2]), "*RST|");
}

TEST(SendCycle, AnAnswerTooLargeForTheViewIsRefusedOrReplacesItWhenTheOperatorSaysOk) {
    BenchConsole c;
    run(c, "Q:29252 S:??");
    EXPECT_EQ(c.view().size(), 32768u);
    run(c, "Z Q:1 S:??");
    EXPECT_EQ(c.view().size(), 32768u);
    run(c, "Q:1 S:??"); // answered Ok
    EXPECT_EQ(c.view(), line(5, u"a"));
    run(c, "Q:29253 S:?? =:ReceivedCharacters.text=");
    EXPECT_EQ(c.view(), line(5, u"a"));
    EXPECT_EQ(c.boxes.shown().size(), 3u);
}

// Auto Clear takes the help text on screen with the view, so Help shows it
// again when asked.
TEST(SendCycle, AutoClearOnlyWhileEnabledAndAFailedWriteLeavesTheViewAndReadsNothingAfter) {
    BenchConsole c;
    run(c, "S:*IDN? S:<Help> X:Help.enabled B:AutoClear S:*IDN? O:Help.enabled");
    EXPECT_EQ(c.view(), line(5, kIdentity));
    run(c, "-:AutoClear");
    c.bus().detach(5);
    c.markTrace();
    run(c, "S:MEAS:VOLT? S:??");
    EXPECT_EQ(c.boxes.shown().front().title.substr(0, 4), u"GPIB");
    EXPECT_EQ(c.reads(), 0);
    EXPECT_EQ(c.view(), line(5, kIdentity));
    EXPECT_TRUE(c.list().contains(QStringLiteral("MEAS:VOLT?")));
}

// Verdicts are the selected device's option: off, the bus sees the message
// alone; on, each message is judged and the verdict goes only to the history.
// The first verdict tells all the device recorded since it was last asked.
TEST(SendCycle, VerdictsOfTheDevicesThatAskForThemGoToTheHistoryOnly) {
    BenchConsole c;
    QAction* verdicts = c.control<QAction>("EnableVerdicts");
    run(c, "S:BOGUS");
    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("BOGUS")});
    EXPECT_EQ(std::ranges::count(c.traceSinceMark(), QStringLiteral("ibrsp"), &TraceCall::op), 0);
    verdicts->trigger();
    run(c, "S:NO:SUCH S:*IDN?");
    EXPECT_EQ(c.view(), line(5, kIdentity));
    const core::History& history = c.form().history();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].verdict, "");
    EXPECT_EQ(history[1].verdict,
              "ESR 160 CME PON; -113,\"Undefined header\"; -113,\"Undefined header\"");
    EXPECT_EQ(history[2].verdict, "OK");
    EXPECT_EQ(core::shownAnswer(history[2]), "Vireon Sim,VDM-6500,SN000005,1.04.2");
    c.select(1);
    EXPECT_FALSE(verdicts->isChecked()) << "the device at 9 has its own";
    c.select(0);
    EXPECT_TRUE(verdicts->isChecked());
    // An answer received into a file is judged before the time-out's box.
    run(c, "T:SendToFile P:v.dat S:NONE?");
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[3].kind + "|" + history[3].verdict,
              "to file|no answer; ESR 32 CME; -113,\"Undefined header\"");
}

TEST(IncomingView, ClearEmptiesViewCountLabelAndTheHelpEntryButNotTypedText) {
    BenchConsole c;
    run(c, "S:*IDN?");
    c.control<QLabel>("SyntaxErrorMessage")->show();
    run(c, "C:ClearIncoming =:ReceivedCharacters.text= X:SyntaxErrorMessage.visible V:*IDN?");
    EXPECT_EQ(c.view() + c.incoming()->toPlainText().toStdU16String(), u"");
    run(c, "S:*IDN? I:0 T:ClrIncoming V:");
}

TEST(Help, TheEntryIsNeverWrittenButStillPreClearsAndShowsOnceUntilClear) {
    BenchConsole c;
    run(c, "S:*IDN?");
    c.form().console().SetSelectedMethod(*c.form().console().beginOperation(),
                                         syntaxcheck::kSerialPollMethod);
    c.markTrace();
    for (int twice = 0; twice < 2; ++twice) {
        run(c, "I:0 k:Return");
        EXPECT_EQ(c.view(), exchange::HelpText(line(5, kIdentity)) + line(5, kIdentity));
    }
    EXPECT_TRUE(c.writes().empty());
    EXPECT_EQ(c.traceSinceMark().at(0).op, QStringLiteral("ibrsp"));
    run(c, "C:ClearIncoming T:Help");
    EXPECT_EQ(c.view(), exchange::HelpText(u""));
}

} // namespace
