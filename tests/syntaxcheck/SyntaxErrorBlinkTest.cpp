#include "syntaxcheck/SyntaxErrorBlink.h"

#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Blink : testing::Test {
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
    syntaxcheck::SyntaxErrorBlink blink{timer, label};
};

TEST_F(Blink, SevenTicksEndShownWithTheTimerStoppedAndAnErrorMeanwhileContinuesThem) {
    label.hide();
    blink.ShowSyntaxErrorMessage();
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(shownAfterTicks(7), (std::vector<bool>{true, false, true, false, true, false, true}));
    EXPECT_FALSE(timer.isActive());

    label.hide();
    blink.ShowSyntaxErrorMessage();
    shownAfterTicks(3);
    blink.ShowSyntaxErrorMessage();
    EXPECT_EQ(shownAfterTicks(4), (std::vector<bool>{false, true, false, true}));
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(blink.BlinkCount(), 0);
}

} // namespace
