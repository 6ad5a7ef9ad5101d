#include "console/BusyTable.h"
#include "console/ConsoleHarness.h"
#include "console/TransferProgress.h"

#include <QAbstractButton>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace {

using console_testing::BenchConsole;

// The window's commands: its named actions (menu titles and separators left
// out), buttons and entry boxes.
std::map<QString, bool> commandStates(QWidget& window) {
    std::map<QString, bool> states;
    for (const QAction* a : window.findChildren<QAction*>())
        if (!a->objectName().isEmpty() && !a->isSeparator() && a->menu() == nullptr)
            states[a->objectName()] = a->isEnabled();
    for (const QWidget* w : window.findChildren<QWidget*>())
        if ((qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w)) &&
            !w->objectName().isEmpty() && !w->objectName().startsWith(QStringLiteral("qt_")))
            states[w->objectName()] = w->isEnabled();
    return states;
}

// While an answer comes in, only what the busy table allows can be used;
// Esc stops the answer, which shows nothing of itself but the read's box and
// the strip saying how far it got; the device is cleared before anything
// else reaches it, and the next query gets its own answer, typed into the
// entry box that has the focus back.
TEST(TransferWindow, WhileBusyOnlyTheTableIsUsableAndEscLeavesTheDeviceQuiet) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    c.bus().setRate(20'000); // CURV? takes seconds
    const std::map<QString, bool> before = commandStates(c.form());
    std::map<QString, bool> during;
    QTimer::singleShot(0, &c.form(), [&] {
        during = commandStates(c.form());
        QTest::keyClick(c.incoming(), Qt::Key_Escape);
    });
    c.send(QStringLiteral("CURV?"));
    ASSERT_EQ(during.size(), before.size()) << "the operation let no event run";
    EXPECT_GT(before.size(), 40u);
    for (const auto& [name, enabled] : before)
        EXPECT_EQ(during[name], enabled && console::usableWhileBusy(name.toStdString()))
            << name.toStdString();
    ASSERT_EQ(c.boxes.shown().size(), 1u);
    EXPECT_EQ(c.boxes.shown()[0].title, u"I/O Error");
    // The stop's clear: nothing but the time-out's restore after it.
    std::vector<QString> ops;
    for (const console_testing::TraceCall& call : c.traceSinceMark())
        ops.push_back(call.op);
    ASSERT_GE(ops.size(), 2u);
    EXPECT_EQ(ops[ops.size() - 2], QStringLiteral("ibclr"));
    EXPECT_EQ(ops.back(), QStringLiteral("ibtmo"));
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
    EXPECT_EQ(c.view().find(u"22: "), std::u16string::npos) << "no partial answer";
    EXPECT_TRUE(c.form().transferProgress().text().startsWith(QStringLiteral("Stopped: ")));

    c.send(QStringLiteral("*IDN?"));
    EXPECT_EQ(c.view().substr(0, 30), u"22: Vireon Sim,VSO-2204,SN0000");
}

// An answer shown while the bus still works (Id All prints each device as it
// goes) would enable Clear at once; it is held until the bus is free.
TEST(TransferWindow, ACommandEnabledWhileBusyWaitsForTheEnd) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    c.bus().setRate(500); // the first answer comes after the window has gone busy
    QPushButton* clear = c.control<QPushButton>("ClearIncoming");
    ASSERT_FALSE(clear->isEnabled());
    bool enabledWhileBusy = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        enabledWhileBusy = enabledWhileBusy || (c.form().console().busy() && clear->isEnabled());
    });
    watch.start(0);
    c.control<QPushButton>("IdAll")->click();
    EXPECT_NE(c.view().find(u"22: Vireon Sim"), std::u16string::npos); // as far as 300 ms took it
    EXPECT_FALSE(enabledWhileBusy);
    EXPECT_TRUE(clear->isEnabled());
}

// A restart asked for while the bus works (closing included) waits for the
// operation: the transfer stops, then the window closes with the choice kept
// and the bus handed back.
TEST(TransferWindow, ARestartAskedForWhileBusyIsCarriedOutAfterTheOperation) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    c.bus().setRate(20'000);
    c.fileDialogs.answerNext(platform::FileChoice{u"/benches/other.yaml", u"other.yaml"});
    QTimer::singleShot(0, &c.form(), [&] { c.form().benchCommands().BenchFromFile_Click(); });
    c.send(QStringLiteral("CURV?"));
    ASSERT_EQ(c.boxes.shown().size(), 1u);
    EXPECT_EQ(c.boxes.shown()[0].title, u"I/O Error");
    QCoreApplication::processEvents();
    EXPECT_FALSE(c.form().isVisible());
    EXPECT_EQ(c.form().benchCommands().requestedBackEnd(), "sim:/benches/other.yaml");
    EXPECT_EQ(c.traceSinceMark().back().op, QStringLiteral("ibonl")); // the bus handed back
}

TEST(TransferWindow, ProgressTellsBytesTimeAndRate) {
    using std::chrono::milliseconds;
    EXPECT_EQ(console::progressText(1234567, milliseconds(2500)),
              u"1,234,567 bytes in 2.5 s, 493.8 kB/s");
    EXPECT_EQ(console::progressText(3'000'000, milliseconds(1000)),
              u"3,000,000 bytes in 1.0 s, 3.0 MB/s");
}

} // namespace
