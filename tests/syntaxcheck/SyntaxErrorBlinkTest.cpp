#include "syntaxcheck/SyntaxErrorBlink.h"

#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using syntaxcheck::SyntaxErrorBlink;

struct Blink : testing::Test {
    Blink() { label.hide(); }
    // The label's state after each of `ticks` ticks.
    std::vector<bool> shownAfterTicks(int ticks) {
        std::vector<bool> shown;
        for (int i = 0; i < ticks; ++i) {
            blink.Timer1_Timer();
            shown.push_back(!label.isHidden());
        }
        return shown;
    }

    QTimer timer;
    QLabel label;
    SyntaxErrorBlink blink{timer, label};
};

TEST_F(Blink, SevenTicksFromHiddenEndShownWithTheTimerStopped) {
    timer.setInterval(200);
    blink.ShowSyntaxErrorMessage();
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(shownAfterTicks(7), (std::vector<bool>{true, false, true, false, true, false, true}));
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(blink.BlinkCount(), 0);
}

TEST_F(Blink, ALabelShownWhenTheBlinkBeganStillEndsShown) {
    label.show();
    blink.ShowSyntaxErrorMessage();
    shownAfterTicks(7);
    EXPECT_FALSE(label.isHidden());
    EXPECT_FALSE(timer.isActive());
}

TEST_F(Blink, AnErrorDuringABlinkContinuesItInsteadOfStartingOver) {
    blink.ShowSyntaxErrorMessage();
    shownAfterTicks(3);
    blink.ShowSyntaxErrorMessage();
    EXPECT_EQ(blink.BlinkCount(), 3);
    shownAfterTicks(4);
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(label.isHidden());

    // A later error gets a whole cycle of its own.
    label.hide();
    blink.ShowSyntaxErrorMessage();
    EXPECT_EQ(shownAfterTicks(6).back(), false);
    EXPECT_TRUE(timer.isActive());
    shownAfterTicks(1);
    EXPECT_FALSE(timer.isActive());
}

} // namespace
