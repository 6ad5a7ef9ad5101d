#include "exchange/PlotGestures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using plot_testing::drag;
using plot_testing::wheel;

// Seconds since a run began, a point every 0.5 s from 10 s on.
exchange::PlotView& timeChart(exchange::PlotView& view, std::size_t count) {
    view.resize(400, 300);
    std::vector<double> xs, values;
    for (std::size_t i = 0; i < count; ++i) {
        xs.push_back(10 + 0.5 * static_cast<double>(i));
        values.push_back(static_cast<double>(i % 7));
    }
    view.setPoints(xs, values);
    return view;
}

} // namespace

// A chart that shows everything goes on doing so as points come; once the
// operator zooms it stays where it was put.
TEST(RunChartView, FollowsNewPointsUntilTheOperatorZooms) {
    exchange::PlotView view;
    timeChart(view, 10);
    EXPECT_EQ(view.firstShown(), 10);
    EXPECT_EQ(view.lastShown(), 14.5);
    view.appendPoint(20, 1);
    EXPECT_EQ(view.lastShown(), 20);
    wheel(view, 120);
    const double shown = view.lastShown();
    view.appendPoint(30, 1);
    EXPECT_EQ(view.lastShown(), shown);
    EXPECT_EQ(view.values().size(), 12u);
}

// However far the operator zooms out or drags, the time axis stays within a
// few times the run's span, and the pointer names a real point.
TEST(RunChartView, KeepsTheViewWithinItsTimes) {
    exchange::PlotView view;
    timeChart(view, 1000); // 10 s to 509.5 s
    for (int i = 0; i < 4000; ++i)
        wheel(view, -120);
    for (int i = 0; i < 4000; ++i)
        drag(view, QPointF(70, 150), QPointF(360, 150));
    EXPECT_TRUE(std::isfinite(view.firstShown()) && std::isfinite(view.lastShown()));
    EXPECT_GT(view.lastShown(), view.firstShown());
    EXPECT_GE(view.firstShown(), 10 - 4 * 500.0);
    EXPECT_LE(view.lastShown(), 10 + 5 * 500.0);
    const qsizetype pointed = plot_testing::pointedAtMiddle(view);
    EXPECT_GE(pointed, 0);
    EXPECT_LT(pointed, 1000);
    view.grab();
}
