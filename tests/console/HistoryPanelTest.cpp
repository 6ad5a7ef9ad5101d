#include "console/HistoryPanel.h"
#include "console/ConsoleHarness.h"

#include <QComboBox>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace console_testing;

core::ExchangeRecord row(int n) {
    core::ExchangeRecord r;
    r.utcMs = 1000 * n;
    r.address = n % 2 == 0 ? 5 : 22;
    r.sent = "N" + std::to_string(n) + "\n";
    return r;
}

// The rows the cap drops leave the panel from the top, whatever the search.
TEST(HistoryModel, FollowsTheHistoryPastItsCap) {
    core::History history(3);
    console::HistoryModel model(history);
    model.setFilter({}, 5, {});
    for (int n = 0; n < 6; ++n) {
        history.add(row(n));
        model.added();
    }
    ASSERT_EQ(model.rowCount(), 1); // N4: the even rows of the last three
    EXPECT_EQ(history[model.historyIndex(0)].sent, "N4\n");
    model.setFilter({}, 0, {});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(2, console::HistoryModel::Sent), Qt::DisplayRole).toString(),
              QStringLiteral("N5\\n"));
}

// The panel stays hidden at the designed size; opened from the Answer menu
// it lists each exchange, finds them as the operator types, sends a chosen
// one again through the send cycle, and exports what is shown.
TEST(HistoryPanel, FindsSendsAgainAndExports) {
    BenchConsole c;
    auto& form = c.form();
    EXPECT_FALSE(form.historyDock().isVisibleTo(&form));
    run(c, "S:*IDN? S:MEAS:VOLT? T:HistoryPanel");
    EXPECT_TRUE(form.historyDock().isVisibleTo(&form));

    console::HistoryPanel& panel = form.historyPanel();
    QTableView& view = panel.view();
    EXPECT_EQ(view.model()->rowCount(), 2);
    QTest::keyClicks(panel.findChild<QLineEdit*>(QStringLiteral("HistorySearch")),
                     QStringLiteral("volt"));
    ASSERT_EQ(view.model()->rowCount(), 1);

    view.selectRow(0);
    c.markTrace();
    panel.SendAgain_Click();
    const auto calls = c.traceSinceMark();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().op, QStringLiteral("ibwrt"));
    EXPECT_EQ(calls.front().args.at(1).toString(), QStringLiteral("MEAS:VOLT?"))
        << "as typed, through the send cycle";
    EXPECT_EQ(form.history().size(), 3u);
    EXPECT_EQ(view.model()->rowCount(), 2) << "the new row matches the search";

    const QString csv = file(c, "h.csv");
    c.fileDialogs.answerNext(platform::FileChoice{csv.toStdU16String(), u"h.csv"});
    view.clearSelection();
    panel.ExportCsv_Click();
    const QList<QByteArray> lines = read(csv).split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two rows, nothing after the last CR LF
    EXPECT_TRUE(lines[1].contains(",MEAS:VOLT?,")) << lines[1].toStdString();
}

// Made taller, the window gives the panel its room once, by itself.
TEST(HistoryPanel, OpensWhenTheWindowIsMadeTaller) {
    BenchConsole c;
    auto& form = c.form();
    form.show();
    form.resize(form.width(), form.height() + 50);
    EXPECT_FALSE(form.historyDock().isVisible());
    form.resize(form.width(), form.height() + 250);
    EXPECT_TRUE(form.historyDock().isVisible());
}

} // namespace
