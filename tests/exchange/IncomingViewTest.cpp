#include "exchange/ExchangeFixture.h"

#include "exchange/IncomingText.h"
#include "support/ScriptedMessageBoxes.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

using exchange_testing::ExchangeConsole;
using exchange_testing::line;
using platform::Answer;
using testing_support::utf8;

constexpr char16_t kTooLargeTitle[] = u"Too large string - 30k list limit exceeded";

struct IncomingView : testing::Test {
    // An answer of `length` characters waiting at the multimeter, then read.
    void receive(std::size_t length, char fill = 'a') {
        c.deviceHolds(5, std::string(length, fill) + "\n");
        c.send(QStringLiteral("??"));
    }
    ExchangeConsole c;
};

TEST_F(IncomingView, NineCharactersMakeOneLineLedByTheTwoDigitAddress) {
    c.deviceHolds(5, "123456789\n");
    c.send(QStringLiteral("??"));
    EXPECT_EQ(utf8(c.view()), "05: 123456789\r\n");
    EXPECT_EQ(c.caption(), QStringLiteral("9 "));
}

TEST_F(IncomingView, LongAnswersAreCutIntoFiftyCharacterLines) {
    ExchangeConsole twelve(console_testing::busWithDevicesAt({12}));
    std::string answer(50, 'x');
    answer += std::string(50, 'y') + std::string(20, 'z');
    twelve.deviceHolds(12, answer + "\n");
    twelve.send(QStringLiteral("??"));

    EXPECT_EQ(utf8(twelve.view()), "12: " + std::string(50, 'x') +
                                       "\r\n12: " + std::string(50, 'y') +
                                       "\r\n12: " + std::string(20, 'z') + "\r\n");
    EXPECT_EQ(twelve.caption(), QStringLiteral("120 "));

    twelve.exchange().ClearIncoming_Click();
    twelve.deviceHolds(12, std::string(50, 'w') + "\n");
    twelve.send(QStringLiteral("??"));
    EXPECT_EQ(utf8(twelve.view()), "12: " + std::string(50, 'w') + "\r\n");
}

TEST_F(IncomingView, ControlCharactersInsideAnAnswerAreDataAndCounted) {
    using namespace std::string_literals;
    c.deviceHolds(5, "a\0b\xff"
                     "c\r\nd\n"s);
    c.send(QStringLiteral("??"));
    EXPECT_EQ(c.view(), u"05: a\0b\u00ffc\r\nd\r\n"s);
    EXPECT_EQ(c.caption(), QStringLiteral("8 "));
}

TEST_F(IncomingView, ASecondAnswerGoesAboveTheFirst) {
    c.deviceHolds(5, "first\n");
    c.send(QStringLiteral("??"));
    c.deviceHolds(5, "second\n");
    c.send(QStringLiteral("??"));
    EXPECT_EQ(utf8(c.view()), utf8(line(5, u"second") + line(5, u"first")));
    EXPECT_EQ(c.caption(), QStringLiteral("6 "));
}

TEST_F(IncomingView, TheLongestAnswerAnEmptyViewTakesIs29252Characters) {
    receive(29252);
    EXPECT_TRUE(c.h.boxes.shown().empty());
    EXPECT_EQ(c.view().size(), 32768u);
    EXPECT_EQ(c.caption(), QStringLiteral("29252 "));
}

TEST_F(IncomingView, OneCharacterMoreGetsTheTooLargeBoxAndChangesNothing) {
    c.deviceHolds(5, "first\n");
    c.send(QStringLiteral("??"));
    const std::u16string before = c.view();

    receive(29253);

    ASSERT_EQ(c.h.boxes.shown().size(), 1u);
    const auto& box = c.h.boxes.shown()[0];
    EXPECT_EQ(box.title, kTooLargeTitle);
    EXPECT_EQ(utf8(box.text), "This this Incoming Message is too large to capture.\n"
                              "Try saving it to a file instead.\n\n"
                              "You will have to resend the query !");
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::Critical);
    EXPECT_EQ(c.view(), before);
    // Emptied by the cycle before the read, not set again.
    EXPECT_EQ(c.caption(), QString());
}

TEST_F(IncomingView, AnAnswerFarBeyondTheLimitGetsTheSameBox) {
    // The oscilloscope's waveform is some 70 kB.
    ExchangeConsole scope(bus::SimulatedBus::defaultBench(), 2);
    scope.send(QStringLiteral("CURV?"));
    ASSERT_EQ(scope.h.boxes.shown().size(), 1u);
    EXPECT_EQ(scope.h.boxes.shown()[0].icon, platform::Icon::Critical);
    EXPECT_TRUE(scope.view().empty());
    EXPECT_FALSE(scope.button("ClearIncoming")->isEnabled());
}

TEST_F(IncomingView, AnAnswerThatFitsOnlyAloneAsksToClearTheView) {
    receive(20000, 'o');
    const std::u16string before = c.view();

    c.h.boxes.answerNext(Answer::Cancel);
    receive(10000, 'n');
    ASSERT_EQ(c.h.boxes.shown().size(), 1u);
    const auto& box = c.h.boxes.shown()[0];
    EXPECT_EQ(box.title, kTooLargeTitle);
    EXPECT_EQ(utf8(box.text), "To capture this Incoming Message the previous must be cleared.\n\n"
                              "If you select cancel you will have to resend the query !");
    EXPECT_EQ(box.buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(box.icon, platform::Icon::Exclamation);
    EXPECT_EQ(c.view(), before);

    c.h.boxes.answerNext(Answer::Ok);
    receive(10000, 'n');
    EXPECT_EQ(c.view(), exchange::BuildBlock(std::u16string(10000, u'n'), 5));
    EXPECT_EQ(c.caption(), QStringLiteral("10000 "));
}

TEST_F(IncomingView, ClearEmptiesTheViewAndTheCountAndComesBackWithTheNextAnswer) {
    c.send(QStringLiteral("*IDN?"));
    c.label("SyntaxErrorMessage")->show();
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);

    EXPECT_TRUE(c.view().empty());
    EXPECT_TRUE(c.incoming()->toPlainText().isEmpty());
    EXPECT_EQ(c.caption(), QString());
    EXPECT_FALSE(c.label("SyntaxErrorMessage")->isVisible());
    EXPECT_FALSE(c.button("ClearIncoming")->isEnabled());
    EXPECT_FALSE(c.action("ClrIncoming")->isEnabled());
    // A typed entry stays.
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("*IDN?"));
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));

    c.send(QStringLiteral("NOSUCH?"));
    EXPECT_TRUE(c.button("ClearIncoming")->isEnabled());
    c.action("ClrIncoming")->trigger();
    EXPECT_FALSE(c.button("ClearIncoming")->isEnabled());
    EXPECT_EQ(c.caption(), QString());
}

TEST_F(IncomingView, ClearWithTheHelpEntryInTheBoxEmptiesTheBox) {
    c.send(QStringLiteral("*IDN?"));
    c.box()->setCurrentIndex(0);
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    EXPECT_EQ(c.box()->currentText(), QString());
    EXPECT_EQ(c.box()->currentIndex(), -1);

    c.send(QStringLiteral("*IDN?"));
    c.box()->setCurrentIndex(2);
    QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
    EXPECT_EQ(c.box()->currentText(), QStringLiteral("ID?"));
}

TEST_F(IncomingView, TextTypedIntoTheViewIsKeptBelowTheNextAnswer) {
    c.incoming()->setFocus();
    QTest::keyClicks(c.incoming(), QStringLiteral("note"));
    c.deviceHolds(5, "answer\n");
    c.box()->setFocus();
    c.send(QStringLiteral("??"));
    EXPECT_EQ(utf8(c.view()), utf8(line(5, u"answer") + u"note"));
}

TEST_F(IncomingView, TabOrEnterInTheViewGoToTheFirstAddressWhileNothingCanBeSent) {
    ASSERT_FALSE(c.button("SendMessage")->isEnabled());
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Enter}) {
        c.incoming()->setFocus();
        QTest::keyClick(c.incoming(), key);
        EXPECT_EQ(c.focus(), QStringLiteral("AddressButton_0")) << key;
        EXPECT_TRUE(c.incoming()->toPlainText().isEmpty());
    }

    c.type(QStringLiteral("*RST"));
    ASSERT_TRUE(c.button("SendMessage")->isEnabled());
    c.incoming()->setFocus();
    QTest::keyClick(c.incoming(), Qt::Key_Return);
    EXPECT_EQ(c.focus(), QStringLiteral("ReceivedMessages"));
}

TEST_F(IncomingView, AutoClearTogglesOnceAndIsMarkedChangedOnce) {
    QAction* autoClear = c.action("AutoClear");
    const bool before = autoClear->isChecked();
    c.incoming()->setFocus();
    autoClear->trigger();
    EXPECT_NE(autoClear->isChecked(), before);
    EXPECT_TRUE(c.form().state().SettingsChanged[console::FlagAutoClear]);
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
}

TEST_F(IncomingView, PrintMessageListIsOfferedToTheRestOfTheConsole) {
    static_cast<exchange::AnswerView&>(c.form().exchange()).PrintMessageList(u"No response");
    EXPECT_EQ(utf8(c.view()), utf8(line(5, u"No response")));
    EXPECT_EQ(c.caption(), QStringLiteral("11 "));
}

} // namespace
