#include "console/ConsoleHarness.h"
#include "exchange/AnswerCommands.h"
#include "exchange/AnswerWindows.h"
#include "exchange/PlotView.h"

#include <QFile>

#include <gtest/gtest.h>

using console_testing::BenchConsole;

// The oscilloscope's curve is too large for the view, yet plots: every point
// in the chart, the same numbers in the saved CSV, the chart in the PNG. An answer of no numbers
// plots nothing and says so.
TEST(PlotWindow, TheScopesCurvePlotsAndSavesAsCsv) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    c.send(QStringLiteral("CURV?"));
    c.action("Plot")->trigger();
    exchange::PlotWindow* plot = c.form().answerCommands().plotWindow();
    ASSERT_NE(plot, nullptr);
    EXPECT_TRUE(plot->isVisible());
    ASSERT_EQ(plot->chart().values().size(), 20000u);

    const QString csv = c.dataFolderPath() + QStringLiteral("/curve.csv");
    c.fileDialogs.answerNext(platform::FileChoice{csv.toStdU16String(), u"curve.csv"});
    plot->SaveCsv_Click();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The heading, 20000 values, nothing after the last CR LF; the lines are CsvText's.
    EXPECT_EQ(lines.size(), 20002);

    const QString png = c.dataFolderPath() + QStringLiteral("/curve.png");
    c.fileDialogs.answerNext(platform::FileChoice{png.toStdU16String(), u"curve.png"});
    plot->SavePng_Click();
    QFile picture(png);
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    EXPECT_EQ(picture.read(4), QByteArray("\x89PNG"));

    c.send(QStringLiteral("*IDN?"));
    c.action("Plot")->trigger();
    ASSERT_FALSE(c.boxes.shown().empty());
    EXPECT_EQ(c.boxes.shown().back().title, u"Plot");
    EXPECT_EQ(plot->chart().values().size(), 20000u) << "the chart keeps the last plot";
}
