#include "console/ConsoleHarness.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using console_testing::BenchConsole;
using console_testing::line;

// Which device gets which query, in what order, and the selection kept are
// IdentifyAll's (see IdentificationBusTest); the window shows the answers.
TEST(IdAllWindow, ShowsEveryDeviceInButtonOrderAboveOrInsteadOfTheViewAndRunsNoQueuedEnter) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 1);
    c.check("vrID")->setChecked(true);
    c.check("vrIDN")->setChecked(false);
    c.action("AutoClear")->setChecked(false);
    c.deviceHolds(9, "older\n");
    c.send(QStringLiteral("??"));
    c.markTrace();
    // Id All lets events run while it prints each answer. An Enter queued behind
    // its click must not run a send cycle then: the descriptor points at the
    // device Id All is visiting, not at the one the operator selected.
    c.editor()->selectAll();
    c.type(QStringLiteral("*RST"));
    QCoreApplication::postEvent(c.editor(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    c.button("IdAll")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.writes(), std::vector<QString>(3, QStringLiteral("ID?")));
    const std::u16string ids = line(5, u"No response") +
                               line(9, u"ID VIREON SIM/VFG-209,V2.3,F1.1") +
                               line(22, u"No response");
    EXPECT_EQ(c.view(), ids + line(9, u"older"));
    EXPECT_EQ(c.caption(), QString());
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));

    c.action("AutoClear")->setChecked(true);
    c.action("Help")->setEnabled(false);
    QTest::mouseClick(c.button("IdAll"), Qt::LeftButton);
    EXPECT_EQ(c.view(), ids);
    EXPECT_TRUE(c.action("Help")->isEnabled());
    c.enter();
    EXPECT_EQ(c.writes().back(), QStringLiteral("*RST"));
}

} // namespace
