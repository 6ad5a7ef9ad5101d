#include "syntaxcheck/SyntaxCheckConsole.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using syntaxcheck_testing::BenchConsole;
using testing_support::utf8;

const QString kScope = QStringLiteral("Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0");
const QString kMeter = QStringLiteral("Vireon Sim,VDM-6500,SN000005,1.04.2");
const QString kGenerator = QStringLiteral("ID VIREON SIM/VFG-209,V2.3,F1.1");

struct IdAll : testing::Test {
    IdAll() { c.h.control<QAction>("AutoClear")->setChecked(false); }
    void boxes(bool id, bool idn) {
        c.h.control<QCheckBox>("vrID")->setChecked(id);
        c.h.control<QCheckBox>("vrIDN")->setChecked(idn);
    }
    void click() { QTest::mouseClick(c.h.control<QPushButton>("IdAll"), Qt::LeftButton); }
    // The lines of the incoming view, top first.
    QStringList lines() {
        QString text = c.view();
        text.remove(QLatin1Char('\r'));
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The queries written since the mark, with the address each went to.
    std::vector<QString> queries() {
        std::vector<QString> sent;
        int address = -1;
        for (const console_testing::TraceCall& call : c.traceSinceMark()) {
            if (call.op == QStringLiteral("ibpad")) address = call.args.at(1).toInt();
            if (call.op == QStringLiteral("ibwrt"))
                sent.push_back(QString::number(address) + QLatin1Char(' ') +
                               call.args.at(1).toString());
        }
        return sent;
    }

    BenchConsole c;
};

TEST_F(IdAll, BothBoxesShowEveryDeviceInButtonOrderAndAskStarIdnOnlyWhereIdFails) {
    boxes(true, true);
    c.select(1);
    c.markTrace();
    click();

    EXPECT_EQ(lines(),
              (QStringList{QStringLiteral("05: ") + kMeter, QStringLiteral("09: ") + kGenerator,
                           QStringLiteral("22: ") + kScope}));
    EXPECT_EQ(queries(), (std::vector<QString>{QStringLiteral("22 ID?"), QStringLiteral("22 *IDN?"),
                                               QStringLiteral("9 ID?"), QStringLiteral("5 ID?"),
                                               QStringLiteral("5 *IDN?")}));

    // Each device under a short time-out, then the standing one again; the
    // descriptor ends at the selected device.
    const auto calls = c.traceSinceMark();
    int shortTimeOuts = 0;
    int standing = 0;
    for (const auto& call : calls) {
        if (call.op != QStringLiteral("ibtmo")) continue;
        (call.args.at(1).toInt() == bus::T300ms ? shortTimeOuts : standing) += 1;
        EXPECT_TRUE(call.args.at(1).toInt() == bus::T300ms || call.args.at(1).toInt() == bus::T3s);
    }
    EXPECT_EQ(shortTimeOuts, 3);
    EXPECT_EQ(standing, 3);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, QStringLiteral("ibpad"));
    EXPECT_EQ(calls.back().args.at(1).toInt(), 9);
    const bus::DeviceTable& devices = c.h.form().session().devices;
    EXPECT_EQ(devices.SelectedAddress, 9);
    EXPECT_EQ(devices.SelectedDeviceIndex, 2);
    EXPECT_EQ(c.h.control<QLabel>("ReceivedCharacters")->text(), QString());
    EXPECT_EQ(console_testing::focusName(c.h.form()), QStringLiteral("SendMessageList"));
}

TEST_F(IdAll, OnlyStarIdnAsksEachDeviceOnceWithTheChosenLineEnds) {
    boxes(false, true);
    c.h.control<QCheckBox>("vrAddCR")->setChecked(true);
    c.h.control<QCheckBox>("vrAddLF")->setChecked(true);
    c.markTrace();
    click();

    EXPECT_EQ(queries(),
              (std::vector<QString>{QStringLiteral("22 *IDN?\r\n"), QStringLiteral("9 *IDN?\r\n"),
                                    QStringLiteral("5 *IDN?\r\n")}));
    const QStringList shown = lines();
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("05: ") + kMeter, QStringLiteral("09: No response"),
                           QStringLiteral("22: ") + kScope}));
    // No selection before: the descriptor is left at address 0.
    EXPECT_EQ(c.traceSinceMark().back().args.at(1).toInt(), 0);
}

TEST_F(IdAll, AVanishedDeviceShowsNoResponseAfterItsFailedWrites) {
    boxes(true, true);
    c.h.bus().detach(22);
    c.h.boxes.clear();
    click();

    EXPECT_EQ(lines().last(), QStringLiteral("22: No response"));
    ASSERT_EQ(c.h.boxes.shown().size(), 2u);
    for (const auto& box : c.h.boxes.shown())
        EXPECT_EQ(utf8(box.title), "GPIB ERROR # 2");
}

TEST_F(IdAll, AutomaticClearingEmptiesTheViewFirstOtherwiseTheNewLinesGoOnTop) {
    boxes(true, false);
    auto* view = c.h.control<QPlainTextEdit>("ReceivedMessages");
    view->setPlainText(QStringLiteral("12: older\r\n"));
    click();
    EXPECT_EQ(lines().last(), QStringLiteral("12: older"));
    EXPECT_EQ(lines().first(), QStringLiteral("05: No response"));

    c.h.control<QAction>("AutoClear")->setChecked(true);
    c.h.control<QAction>("Help")->setEnabled(false);
    click();
    EXPECT_EQ(lines(),
              (QStringList{QStringLiteral("05: No response"), QStringLiteral("09: ") + kGenerator,
                           QStringLiteral("22: No response")}));
    EXPECT_TRUE(c.h.control<QAction>("Help")->isEnabled());
}

TEST_F(IdAll, TheButtonWorksOnlyWhileAQueryIsChosen) {
    auto* button = c.h.control<QPushButton>("IdAll");
    boxes(false, false);
    EXPECT_FALSE(button->isEnabled());
    c.markTrace();
    click();
    EXPECT_TRUE(c.traceSinceMark().empty());
    boxes(true, false);
    EXPECT_TRUE(button->isEnabled());
}

} // namespace
