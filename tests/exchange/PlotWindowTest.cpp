#include "console/ConsoleHarness.h"
#include "exchange/AnswerCommands.h"
#include "exchange/AnswerWindows.h"
#include "exchange/PlotGestures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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

namespace {

constexpr int kSteps = 4000;

// kSteps turns of the wheel by `delta`, or with no delta kSteps drags after
// `zoomOutFirst` turns out.
struct Gesture {
    const char* name;
    int delta;
    Qt::KeyboardModifiers modifiers = {};
    int zoomOutFirst = 0;
    QPointF from = {}, to = {};
};

const Gesture kGestures[] = {
    {"WheelOut", -120},
    {"WheelIn", 120},
    {"ShiftWheelOut", -120, Qt::ShiftModifier},
    {"ShiftWheelIn", 120, Qt::ShiftModifier},
    {"DragRightAfterZoomingOut", 0, {}, 40, {70, 150}, {360, 150}},
    {"DragDown", 0, {}, 0, {200, 15}, {200, 270}},
};

class PlotViewGesture : public ::testing::TestWithParam<Gesture> {};

} // namespace

// However far the operator zooms or drags, the view stays within a few times
// its data: finite, never empty, and the pointer readout names a real point.
TEST_P(PlotViewGesture, KeepsTheViewWithinItsData) {
    exchange::PlotView view;
    view.resize(400, 300);
    std::vector<double> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i % 7);
    view.setValues(values);

    const Gesture& g = GetParam();
    for (int i = 0; i < g.zoomOutFirst; ++i)
        plot_testing::wheel(view, -120);
    for (int i = 0; i < kSteps; ++i)
        g.delta ? plot_testing::wheel(view, g.delta, g.modifiers)
                : plot_testing::drag(view, g.from, g.to);

    EXPECT_TRUE(std::isfinite(view.firstShown()) && std::isfinite(view.lastShown()));
    EXPECT_GT(view.lastShown(), view.firstShown());
    EXPECT_GE(view.firstShown(), -5000.0);
    EXPECT_LE(view.lastShown(), 6000.0);
    EXPECT_TRUE(std::isfinite(view.lowestShown()) && std::isfinite(view.highestShown()));
    EXPECT_GT(view.highestShown(), view.lowestShown());
    EXPECT_GE(view.lowestShown(), -100.0);
    EXPECT_LE(view.highestShown(), 100.0);
    const qsizetype pointed = plot_testing::pointedAtMiddle(view);
    EXPECT_GE(pointed, 0);
    EXPECT_LT(pointed, 1000);
    view.grab(); // draws without tripping the sanitizers
}

INSTANTIATE_TEST_SUITE_P(Gestures, PlotViewGesture, ::testing::ValuesIn(kGestures),
                         [](const auto& info) { return std::string(info.param.name); });
