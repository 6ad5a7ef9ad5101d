#include "console/ConsoleHarness.h"
#include "exchange/AnswerCommands.h"
#include "exchange/AnswerWindows.h"
#include "exchange/PlotView.h"

#include <gtest/gtest.h>

using namespace console_testing;

// The oscilloscope's curve is too large for the view, yet plots: every point
// in the chart, the same numbers in the saved CSV, the chart in the PNG. An answer of no numbers
// plots nothing and says so.
TEST(PlotWindow, TheScopesCurvePlotsAndSavesAsCsv) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    run(c, "S:CURV? T:Plot");
    exchange::PlotWindow* plot = c.form().answerCommands().plotWindow();
    ASSERT_NE(plot, nullptr);
    EXPECT_TRUE(plot->isVisible());
    ASSERT_EQ(plot->chart().values().size(), 20000u);

    const QString csv = file(c, "curve.csv");
    c.fileDialogs.answerNext(platform::FileChoice{csv.toStdU16String(), u"curve.csv"});
    plot->SaveCsv_Click();
    // The heading, 20000 values, nothing after the last CR LF; the lines are CsvText's.
    EXPECT_EQ(read(csv).split('\n').size(), 20002);

    const QString png = file(c, "curve.png");
    c.fileDialogs.answerNext(platform::FileChoice{png.toStdU16String(), u"curve.png"});
    plot->SavePng_Click();
    EXPECT_EQ(read(png).left(4), QByteArray("\x89PNG"));

    run(c, "S:*IDN? T:Plot");
    ASSERT_FALSE(c.boxes.shown().empty());
    EXPECT_EQ(c.boxes.shown().back().title, u"Plot");
    EXPECT_EQ(plot->chart().values().size(), 20000u) << "the chart keeps the last plot";
}
