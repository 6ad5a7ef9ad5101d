#include "console/ConsoleHarness.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace console_testing;

// Which device gets which query, in what order, and the selection kept are
// IdentifyAll's (see IdentificationBusTest); the window shows the answers.
TEST(IdAllWindow, ShowsEveryDeviceInButtonOrderAboveOrInsteadOfTheViewAndAQueuedEnterAfterIt) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 1);
    c.deviceHolds(9, "older\n");
    run(c, "B:vrID U:vrIDN U:AutoClear S:??");
    c.markTrace();
    // An Enter queued behind its click must not run a send cycle while Id All
    // runs (the descriptor points at the device Id All is visiting), nor be
    // lost: it sends once Id All has ended, to the device selected.
    run(c, "K:*RST");
    QCoreApplication::postEvent(c.box()->lineEdit(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    c.control<QPushButton>("IdAll")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.writes(), (std::vector<QString>{QStringLiteral("ID?"), QStringLiteral("ID?"),
                                                QStringLiteral("ID?"), QStringLiteral("*RST")}));
    run(c, "a:9");
    const std::u16string ids = line(5, u"No response") +
                               line(9, u"ID VIREON SIM/VFG-209,V2.3,F1.1") +
                               line(22, u"No response");
    EXPECT_EQ(c.view(), ids + line(9, u"older"));
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));

    run(c, "=:ReceivedCharacters.text= B:AutoClear -:Help C:IdAll O:Help.enabled");
    EXPECT_EQ(c.view(), ids);
    run(c, "k:Return");
    EXPECT_EQ(c.writes().back(), QStringLiteral("*RST"));
}

} // namespace
