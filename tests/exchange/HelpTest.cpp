#include "exchange/ExchangeFixture.h"

#include "exchange/IncomingText.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

using exchange_testing::ExchangeConsole;
using exchange_testing::line;
using testing_support::utf8;

struct Help : testing::Test {
    void sendHelpEntry() {
        c.box()->setCurrentIndex(0);
        c.enter();
    }
    // A serial-poll check on the selected device: its clearing polls show.
    void checkBySerialPoll() {
        auto operation = c.form().console().beginOperation();
        c.form().console().SetSelectedMethod(*operation, syntaxcheck::kSerialPollMethod);
    }
    int polls() const {
        int n = 0;
        for (const auto& call : c.traceSinceMark())
            n += call.op == QStringLiteral("ibrsp");
        return n;
    }
    ExchangeConsole c;
};

TEST_F(Help, TheHelpEntryPutsTheHelpIntoAnEmptyViewAndIsNeverWritten) {
    sendHelpEntry();

    EXPECT_EQ(utf8(c.view()), utf8(exchange::HelpText(u"")));
    EXPECT_TRUE(c.view().ends_with(u"*** End Help *** Click Clear to continue ***\r\n\r\n"));
    EXPECT_TRUE(c.writes().empty());
    EXPECT_EQ(c.reads(), 0);
    EXPECT_FALSE(c.action("Help")->isEnabled());
    EXPECT_TRUE(c.button("ClearIncoming")->isEnabled());
    EXPECT_TRUE(c.action("ClrIncoming")->isEnabled());
    EXPECT_FALSE(c.button("DeleteOutgoingMessageEntry")->isEnabled());
    // Sent from the box, the box stays usable; it is empty, so Send waits for text.
    EXPECT_TRUE(c.box()->isEnabled());
    EXPECT_EQ(c.box()->currentText(), QString());
    EXPECT_EQ(c.box()->currentIndex(), -1);
    EXPECT_FALSE(c.button("SendMessage")->isEnabled());
    EXPECT_EQ(c.box()->count(), 4);
    EXPECT_FALSE(c.form().state().MessageListChanged);
}

TEST_F(Help, AboveAnEarlierAnswerOneBlankLineSeparatesThem) {
    c.deviceHolds(5, "earlier\n");
    c.send(QStringLiteral("??"));
    sendHelpEntry();

    const std::u16string answer = line(5, u"earlier");
    const std::u16string help = exchange::HelpText(answer);
    EXPECT_EQ(utf8(c.view()), utf8(help + answer));
    EXPECT_TRUE(c.view().ends_with(u"***\r\n\r\n" + answer));
}

TEST_F(Help, SentTwiceWithoutClearTheSecondTimeOnlyEmptiesTheBox) {
    sendHelpEntry();
    const std::u16string once = c.view();
    checkBySerialPoll();
    c.markTrace();

    sendHelpEntry();

    EXPECT_EQ(c.view(), once);
    EXPECT_EQ(c.box()->currentText(), QString());
    EXPECT_EQ(polls(), 0);
}

TEST_F(Help, TheStatusIsStillPreClearedForTheHelpEntry) {
    checkBySerialPoll();
    c.markTrace();
    sendHelpEntry();
    EXPECT_GT(polls(), 0);
    EXPECT_TRUE(c.writes().empty());
}

TEST_F(Help, WithSelectNextTheHelpEntryStandsInTheBoxAgain) {
    c.check("vrSelectNextListItem")->setChecked(true);
    sendHelpEntry();
    EXPECT_EQ(c.box()->currentIndex(), 0);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("<Help>"));
}

TEST_F(Help, TheMenuEntryLocksTheBoxAndSendUntilClear) {
    c.type(QStringLiteral("*RST"));
    c.action("Help")->trigger();

    EXPECT_EQ(utf8(c.view()), utf8(exchange::HelpText(u"")));
    EXPECT_FALSE(c.box()->isEnabled());
    EXPECT_FALSE(c.button("SendMessage")->isEnabled());
    EXPECT_FALSE(c.action("Help")->isEnabled());
    EXPECT_TRUE(c.writes().empty());

    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    EXPECT_TRUE(c.view().empty());
    EXPECT_TRUE(c.box()->isEnabled());
    EXPECT_TRUE(c.action("Help")->isEnabled());
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
    // Send comes back with the next text in the box.
    EXPECT_FALSE(c.button("SendMessage")->isEnabled());
    c.type(QStringLiteral("*RST"));
    EXPECT_TRUE(c.button("SendMessage")->isEnabled());
}

TEST_F(Help, TheMenuEntryAfterClearShowsTheHelpAgain) {
    c.action("Help")->trigger();
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    c.action("Help")->trigger();
    EXPECT_EQ(utf8(c.view()), utf8(exchange::HelpText(u"")));
}

} // namespace
