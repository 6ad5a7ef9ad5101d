#include "console/ConsoleHarness.h"
#include "exchange/PlotView.h"
#include "sequence/RunChart.h"
#include "sequence/RunListCommand.h"

#include <QApplication>
#include <QDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

using namespace console_testing;

namespace {

// Answers the Run List dialog once it is up: all entries, `rounds` (0: until
// stopped), no wait between rounds, the log picked through Browse; then
// `whileRunning` once the run lets the window's events run.
void answerRunList(ConsoleHarness& c, int rounds, const QString& log,
                   std::function<void()> whileRunning = {}) {
    if (!log.isEmpty())
        c.fileDialogs.answerNext(platform::FileChoice{log.toStdU16String(), u"run.csv"});
    QTimer::singleShot(0, [&c, rounds, log, whileRunning] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(dialog->objectName(), QStringLiteral("RunListDialog"));
        dialog->findChild<QRadioButton*>(QStringLiteral("AllEntries"))->setChecked(true);
        dialog->findChild<QCheckBox*>(QStringLiteral("UntilStopped"))->setChecked(rounds == 0);
        if (rounds > 0) dialog->findChild<QSpinBox*>(QStringLiteral("Rounds"))->setValue(rounds);
        dialog->findChild<QSpinBox*>(QStringLiteral("IntervalMs"))->setValue(0);
        if (!log.isEmpty()) dialog->findChild<QPushButton*>(QStringLiteral("LogBrowse"))->click();
        if (whileRunning) {
            // The dialog's own loop may still run events as it closes: the
            // timer waits for the run, and for the main window to be active.
            auto* timer = new QTimer(&c.form());
            QObject::connect(timer, &QTimer::timeout, [&c, timer, whileRunning] {
                if (!c.form().console().busy()) return;
                // The window system gives the focus back to the window
                // after the dialog; Esc is the main window's key.
                if (QApplication::activeWindow() != &c.form()) {
                    c.form().activateWindow();
                    return;
                }
                timer->stop();
                timer->deleteLater();
                whileRunning();
            });
            timer->start(0);
        }
        dialog->accept();
    });
}

} // namespace

TEST(RunListWindow, ThreeRoundsOfAMeasurementLogThreeRowsKeepThreeExchangesAndChartThreePoints) {
    BenchConsole c;
    c.box()->clear();
    c.box()->addItems({QStringLiteral("<Help>"), QStringLiteral("MEAS:VOLT?")});
    const std::size_t before = c.form().history().size();
    const QString log = file(c, QStringLiteral("run.csv"));
    answerRunList(c, 3, log);
    run(c, "T:RunList");

    const QList<QByteArray> lines = read(log).split('\n');
    ASSERT_EQ(lines.size(), 5) << read(log).toStdString(); // header, 3 rows, ""
    EXPECT_EQ(lines[0], "utc_time,elapsed_s,device,message,value,verdict\r");
    EXPECT_TRUE(lines[1].contains(",5,MEAS:VOLT?,")) << lines[1].toStdString();
    EXPECT_EQ(c.form().history().size() - before, 3u);
    EXPECT_EQ(c.form().history()[before].sent, "MEAS:VOLT?");
    ASSERT_NE(c.form().runList().chart(), nullptr);
    EXPECT_EQ(c.form().runList().chart()->chart().values().size(), 3u);
    EXPECT_TRUE(c.boxes.shown().empty());
}

// Esc during a run that would go on until stopped ends it, and the window is
// the operator's again.
TEST(RunListWindow, EscEndsARunThatGoesOnUntilStopped) {
    BenchConsole c;
    c.box()->clear();
    c.box()->addItems({QStringLiteral("<Help>"), QStringLiteral("MEAS:VOLT?")});
    answerRunList(c, 0, {}, [&c] { QTest::keyClick(c.incoming(), Qt::Key_Escape); });
    run(c, "T:RunList");
    EXPECT_FALSE(c.form().console().busy());
    run(c, "O:RunList.enabled O:SendMessage.enabled");
}

// A log that cannot be opened is said, and nothing goes out.
TEST(RunListWindow, ALogThatCannotBeOpenedStopsTheRunBeforeItStarts) {
    BenchConsole c;
    const std::size_t before = c.form().history().size();
    answerRunList(c, 3, file(c, QStringLiteral("no such folder/run.csv")));
    run(c, "T:RunList");
    ASSERT_EQ(c.boxes.shown().size(), 1u);
    EXPECT_EQ(c.boxes.shown()[0].text.substr(0, 20), u"The run did not star");
    EXPECT_EQ(c.form().history().size(), before);
}
