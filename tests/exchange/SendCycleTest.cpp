#include "exchange/ExchangeFixture.h"

#include "support/ScriptedMessageBoxes.h"

#include <QMetaObject>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using exchange_testing::ExchangeConsole;
using exchange_testing::line;
using testing_support::utf8;

const std::u16string kIdentity = u"Vireon Sim,VDM-6500,SN000005,1.04.2";

struct SendCycle : testing::Test {
    ExchangeConsole c;
};

TEST_F(SendCycle, SpacesOnlyWriteNothingAndOnlyMoveTheFocus) {
    c.send(QStringLiteral("   "));

    EXPECT_TRUE(c.writes().empty());
    EXPECT_EQ(c.reads(), 0);
    EXPECT_EQ(c.box()->count(), 4);
    EXPECT_FALSE(c.form().state().MessageListChanged);
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
}

TEST_F(SendCycle, AQueryIsWrittenAsTypedAndItsAnswerShownLedByTheAddress) {
    c.send(QStringLiteral("*idn?"));

    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*idn?")});
    EXPECT_EQ(utf8(c.view()), utf8(line(5, kIdentity)));
    EXPECT_EQ(c.caption(), QStringLiteral("35 "));
    EXPECT_TRUE(c.button("ClearIncoming")->isEnabled());
    EXPECT_TRUE(c.action("ClrIncoming")->isEnabled());
    // The answer also stands in the view itself, newest on top.
    EXPECT_TRUE(c.incoming()->toPlainText().startsWith(QStringLiteral("05: Vireon Sim")));
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
}

TEST_F(SendCycle, TheSendButtonRunsTheSameCycle) {
    c.type(QStringLiteral("*IDN?"));
    QTest::mouseClick(c.button("SendMessage"), Qt::LeftButton);

    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*IDN?")});
    EXPECT_EQ(utf8(c.view()), utf8(line(5, kIdentity)));
}

struct Written {
    const char* typed;
    const char* written;
    bool read;
};

class WhatIsWritten : public testing::TestWithParam<Written> {
protected:
    ExchangeConsole c;
};

TEST_P(WhatIsWritten, TheListGetsTheEntryAsTyped) {
    const Written& w = GetParam();
    c.check("AllowMultipleCommands")->setChecked(true);
    c.send(QString::fromLatin1(w.typed));

    const std::vector<QString> expected =
        *w.written ? std::vector<QString>{QString::fromLatin1(w.written)} : std::vector<QString>{};
    EXPECT_EQ(c.writes(), expected);
    EXPECT_EQ(c.reads() > 0, w.read);
    // As shown in the box, spaces and all.
    EXPECT_EQ(c.list().last(), QString::fromLatin1(w.typed));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, WhatIsWritten,
    testing::Values(Written{"*IDN?", "*IDN?", true},
                    // One pair goes; what stood around it is joined.
                    Written{"*IDN??", "*IDN", true}, Written{"A??B??", "AB??", true},
                    // A question mark anywhere makes a query.
                    Written{"MEAS:VOLT? 10", "MEAS:VOLT? 10", true},
                    Written{"  CONF:VOLT 10 ", "CONF:VOLT 10", false},
                    // The help entry in another letter case is a plain command.
                    Written{"<help>", "<help>", false}));

TEST_F(SendCycle, TypedWithDoubleQuestionMarksTheEntryKeepsThem) {
    c.send(QStringLiteral("*IDN??"));
    EXPECT_EQ(c.list().last(), QStringLiteral("*IDN??"));
    EXPECT_EQ(c.box()->currentIndex(), c.box()->count() - 1);
    EXPECT_TRUE(c.form().state().MessageListChanged);
    EXPECT_TRUE(c.button("ClearHistory")->isEnabled());
    EXPECT_TRUE(c.action("LoadStartupMessageList")->isEnabled());
    EXPECT_TRUE(c.button("DeleteOutgoingMessageEntry")->isEnabled());
}

struct LineEnds {
    bool cr;
    bool lf;
    const char* written;
};

class LineEndOptions : public testing::TestWithParam<LineEnds> {
protected:
    ExchangeConsole c;
};

TEST_P(LineEndOptions, ChangeWhatIsWrittenNeverTheEntry) {
    c.check("vrAddCR")->setChecked(GetParam().cr);
    c.check("vrAddLF")->setChecked(GetParam().lf);
    c.send(QStringLiteral("CONF:VOLT"));
    EXPECT_EQ(c.writes(), std::vector<QString>{QString::fromLatin1(GetParam().written)});
    EXPECT_EQ(c.list().last(), QStringLiteral("CONF:VOLT"));
}

INSTANTIATE_TEST_SUITE_P(Options, LineEndOptions,
                         testing::Values(LineEnds{false, false, "CONF:VOLT"},
                                         LineEnds{true, false, "CONF:VOLT\r"},
                                         LineEnds{false, true, "CONF:VOLT\n"},
                                         LineEnds{true, true, "CONF:VOLT\r\n"}));

TEST_F(SendCycle, BareDoubleQuestionMarkReadsWhatTheDeviceStillHolds) {
    c.deviceHolds(5, "pending\n");
    c.send(QStringLiteral("??"));

    EXPECT_TRUE(c.writes().empty());
    EXPECT_EQ(utf8(c.view()), utf8(line(5, u"pending")));
    EXPECT_EQ(c.list().last(), QStringLiteral("??"));
}

TEST_F(SendCycle, BareDoubleQuestionMarkReadsNothingAfterAFailedMessage) {
    c.form().session().ErrorFlag = true;
    c.deviceHolds(5, "pending\n");
    c.send(QStringLiteral("??"));

    EXPECT_EQ(c.reads(), 0);
    EXPECT_TRUE(c.view().empty());
}

TEST_F(SendCycle, APlainCommandIsNeverReadButEmptiesTheCount) {
    c.send(QStringLiteral("*IDN?"));
    const std::u16string before = c.view();
    c.markTrace();

    c.send(QStringLiteral("*RST"));

    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*RST")});
    EXPECT_EQ(c.reads(), 0);
    EXPECT_EQ(c.view(), before);
    EXPECT_EQ(c.caption(), QString());
}

TEST_F(SendCycle, WithoutMultipleCommandsAnEntryDifferingOnlyInCaseIsSelectedNotAdded) {
    c.send(QStringLiteral("*idn?"));

    EXPECT_EQ(c.box()->count(), 4);
    EXPECT_EQ(c.box()->currentIndex(), 1);
    // The box shows the entry as stored.
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*IDN?"));
    EXPECT_FALSE(c.form().state().MessageListChanged);
    EXPECT_FALSE(c.button("ClearHistory")->isEnabled());
}

TEST_F(SendCycle, WithMultipleCommandsTheTypedTextIsAlwaysAdded) {
    c.check("AllowMultipleCommands")->setChecked(true);
    c.send(QStringLiteral("*idn?"));
    c.send(QStringLiteral("*IDN?"));

    EXPECT_EQ(c.list(), (QStringList{QStringLiteral("<Help>"), QStringLiteral("*IDN?"),
                                     QStringLiteral("ID?"), QStringLiteral("*RST"),
                                     QStringLiteral("*idn?"), QStringLiteral("*IDN?")}));
    EXPECT_TRUE(c.form().state().MessageListChanged);
    EXPECT_EQ(c.box()->currentIndex(), 5);
}

TEST_F(SendCycle, AnEntryPickedAndSentUnchangedLeavesTheList) {
    c.check("AllowMultipleCommands")->setChecked(true);
    c.key(Qt::Key_Down); // from the empty box past the help entry to entry 1
    ASSERT_EQ(c.box()->currentIndex(), 1);
    c.enter();

    EXPECT_EQ(c.writes(), std::vector<QString>{QStringLiteral("*IDN?")});
    EXPECT_EQ(c.box()->count(), 4);
    EXPECT_FALSE(c.form().state().MessageListChanged);
    EXPECT_TRUE(c.button("DeleteOutgoingMessageEntry")->isEnabled());
}

TEST_F(SendCycle, AnEntryEditedIntoAnotherEntrysTextCountsAsTyped) {
    c.check("AllowMultipleCommands")->setChecked(true);
    c.key(Qt::Key_Down);
    c.key(Qt::Key_Backspace);
    c.type(QStringLiteral("?"));
    ASSERT_EQ(c.box()->currentText(), QStringLiteral("*IDN?"));
    EXPECT_EQ(c.box()->currentIndex(), -1);
    // Clicking Send takes the focus from the box first.
    QTest::mouseClick(c.button("SendMessage"), Qt::LeftButton);

    EXPECT_EQ(c.box()->count(), 5);
    EXPECT_EQ(c.list().last(), QStringLiteral("*IDN?"));
}

TEST_F(SendCycle, SelectNextPutsTheFollowingEntryInTheBoxAndStopsAtTheLast) {
    c.check("vrSelectNextListItem")->setChecked(true);
    c.box()->setCurrentIndex(2);
    c.enter();
    EXPECT_EQ(c.box()->currentIndex(), 3);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*RST"));
    c.enter();
    EXPECT_EQ(c.box()->currentIndex(), 3);
    EXPECT_EQ(c.writes(), (std::vector<QString>{QStringLiteral("ID?"), QStringLiteral("*RST")}));
}

TEST_F(SendCycle, SelectNextAfterATypedNewMessageStaysOnIt) {
    c.check("vrSelectNextListItem")->setChecked(true);
    c.send(QStringLiteral("CONF:VOLT"));
    EXPECT_EQ(c.box()->currentIndex(), 4);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("CONF:VOLT"));
}

TEST_F(SendCycle, AutoClearEmptiesTheViewBeforeAQueryOnlyWhileEnabled) {
    c.send(QStringLiteral("*IDN?"));
    c.action("AutoClear")->setChecked(true);
    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(utf8(c.view()), utf8(line(5, kIdentity)));

    c.action("AutoClear")->setEnabled(false);
    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(utf8(c.view()), utf8(line(5, kIdentity) + line(5, kIdentity)));
}

TEST_F(SendCycle, AFailedWriteLeavesTheViewAndStillRecordsTheMessage) {
    c.send(QStringLiteral("*IDN?"));
    const std::u16string before = c.view();
    c.h.bus().detach(5);
    c.h.boxes.clear();
    c.markTrace();

    c.send(QStringLiteral("MEAS:VOLT?"));

    ASSERT_EQ(c.h.boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(c.h.boxes.shown()[0].title).rfind("GPIB", 0), 0u)
        << utf8(c.h.boxes.shown()[0].title);
    EXPECT_EQ(c.reads(), 0);
    EXPECT_EQ(c.view(), before);
    EXPECT_EQ(c.list().last(), QStringLiteral("MEAS:VOLT?"));
}

TEST_F(SendCycle, ADeviceThatDoesNotAnswerGivesTheIoErrorBoxAndACountOfZero) {
    c.send(QStringLiteral("NOSUCH?"));

    ASSERT_FALSE(c.h.boxes.shown().empty());
    EXPECT_EQ(utf8(c.h.boxes.shown().back().title), "I/O Error");
    EXPECT_TRUE(c.view().empty());
    EXPECT_EQ(c.caption(), QStringLiteral("0 "));
    EXPECT_TRUE(c.button("ClearIncoming")->isEnabled());
}

TEST_F(SendCycle, ASecondCycleStartedWhileTheFirstAwaitsItsAnswerIsRefused) {
    c.type(QStringLiteral("*IDN?"));
    QLineEdit* editor = c.editor();
    // Delivered by the single round of events the cycle lets through.
    QMetaObject::invokeMethod(
        editor, [editor] { QTest::keyClick(editor, Qt::Key_Return); }, Qt::QueuedConnection);
    c.enter();
    QCoreApplication::processEvents();

    EXPECT_EQ(c.writes().size(), 1u);
    EXPECT_EQ(utf8(c.view()), utf8(line(5, kIdentity)));
}

} // namespace
