#include "console/ConsoleHarness.h"
#include "console/HistoryPanel.h"
#include "exchange/AnswerCommands.h"
#include "exchange/AnswerWindows.h"
#include "exchange/PlotView.h"

#include <QTableView>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace console_testing;

core::ExchangeRecord holding(std::size_t characters) {
    core::ExchangeRecord r;
    r.answerBytes = characters;
    r.block = true;
    r.whole = std::make_shared<const std::u16string>(characters, u'x');
    return r;
}

// Whole answers are held for Hex and Plot only up to the history's limit,
// newest first; the rows themselves stay.
TEST(HistoryAnswers, AreHeldNewestFirstUpToTheLimit) {
    core::History history(10, 250);
    for (int n = 0; n < 3; ++n)
        history.add(holding(100));
    ASSERT_EQ(history.size(), 3u);
    EXPECT_FALSE(history[0].whole);
    EXPECT_TRUE(history[1].whole && history[2].whole);
}

// The scope's curve, too large for a history line, shows in Hex and Plot
// from the history while it is held; a short answer is whole in its row.
TEST(HistoryAnswers, ABlockOfTheHistoryShowsInHexAndPlot) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2); // the oscilloscope
    run(c, "S:DAT:ENC_RIB;:DAT:WID_1;:CURV? S:*IDN? T:HistoryPanel");
    console::HistoryPanel& panel = c.form().historyPanel();
    ASSERT_EQ(panel.view().model()->rowCount(), 2);
    panel.view().selectRow(0);
    ASSERT_TRUE(panel.chosenAnswer());
    EXPECT_EQ(panel.chosenAnswer()->substr(0, 2), u"#5");
    panel.Plot_Click();
    exchange::PlotWindow* plot = c.form().answerCommands().plotWindow();
    ASSERT_NE(plot, nullptr);
    EXPECT_GT(plot->chart().values().size(), 1000u);

    panel.view().selectRow(1);
    panel.Hex_Click();
    ASSERT_NE(c.form().answerCommands().hexView(), nullptr);
    EXPECT_EQ(c.form().answerCommands().hexView()->lineCount(), 3) << "*IDN?'s 40-odd bytes";
}

} // namespace
