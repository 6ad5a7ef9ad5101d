#include "console/ConsoleHarness.h"

#include "syntaxcheck/SyntaxCheckForm.h"

#include <QApplication>
#include <QGroupBox>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using console_testing::BenchConsole;
using syntaxcheck::kNoMethod;
using syntaxcheck::kSerialPollMethod;
using syntaxcheck::kStatusRegistersMethod;

QRadioButton* option(syntaxcheck::SyntaxCheckForm& form, std::int16_t method) {
    return form.findChild<QRadioButton*>(QStringLiteral("SyntaxCheckMethod_%1").arg(method + 1));
}

struct Dialog : testing::Test {
    std::int16_t method(int k) {
        return c.form().console().DeviceSyntaxMethod()[static_cast<std::size_t>(k + 1)];
    }
    bool blue(int k) { return c.address(k)->palette().color(QPalette::ButtonText) == QColor(Qt::blue); }
    BenchConsole c{bus::SimulatedBus::defaultBench(), -1};
};

TEST_F(Dialog, OpensForTheSelectedDeviceWithItsMethodAndCloseAppliesTheChoice) {
    c.select(2);
    EXPECT_TRUE(c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(),
                  QStringLiteral(" Syntax Checking for device at address 22 "));
        EXPECT_TRUE(form.isModal());
        EXPECT_TRUE(option(form, kNoMethod)->isChecked());
    }));
    c.markTrace();
    c.chooseMethod(2, kStatusRegistersMethod);
    EXPECT_EQ(method(2), kStatusRegistersMethod);
    EXPECT_TRUE(blue(2));
    EXPECT_EQ(c.writes().size(), 3u); // the device's status registers are set up
    EXPECT_TRUE(c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        EXPECT_TRUE(option(form, kStatusRegistersMethod)->isChecked());
    }));

    c.chooseMethod(2, kNoMethod);
    EXPECT_EQ(method(2), kNoMethod);
    EXPECT_FALSE(blue(2));
}

TEST_F(Dialog, EscapeOrTheWindowsCloseApplyNothing) {
    c.chooseMethod(0, kSerialPollMethod);
    c.markTrace();
    for (bool escape : {true, false})
        EXPECT_TRUE(c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
            option(form, kStatusRegistersMethod)->click();
            if (escape)
                QTest::keyClick(&form, Qt::Key_Escape);
            else
                form.close();
        }));
    EXPECT_TRUE(c.traceSinceMark().empty());
    EXPECT_EQ(method(0), kSerialPollMethod);
}

TEST_F(Dialog, TheBlueCaptionStaysWithItsDeviceWhileOthersAreSelected) {
    c.chooseMethod(1, kSerialPollMethod);
    EXPECT_TRUE(blue(1));
    c.select(0);
    EXPECT_TRUE(blue(1));
    EXPECT_FALSE(blue(0));
    EXPECT_FALSE(c.address(1)->font().bold());
}

TEST_F(Dialog, ADoubleClickOnAnAddressButtonSelectsThenOpensItForThatDevice) {
    bool opened = false;
    int selected = 0;
    c.whenDialogOpens([&](syntaxcheck::SyntaxCheckForm&) {
        selected = c.form().session().devices.SelectedAddress;
    }, opened);
    QPushButton* button = c.address(1);
    QTest::mouseDClick(c.form().windowHandle(), Qt::LeftButton, {},
                       button->mapTo(&c.form(), button->rect().center()));
    EXPECT_TRUE(opened);
    EXPECT_EQ(selected, 9);
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
}

// The check's bus calls are SyntaxCheck's and the console's (see their
// tests); the window shows the verdict.
TEST(SyntaxCheckWindow, ARejectedMessageIsNotReadAndBlinksTheLabelUntilTheNextMessage) {
    BenchConsole c;
    c.chooseMethod(0, kStatusRegistersMethod);
    c.markTrace();
    c.send(QStringLiteral("MEAS:BOGUS?"));
    EXPECT_EQ(c.reads(), 0);
    EXPECT_TRUE(c.form().Timer1().isActive());
    for (int i = 0; i < 100 && c.form().Timer1().isActive(); ++i)
        QTest::qWait(50);
    EXPECT_TRUE(c.label("SyntaxErrorMessage")->isVisible());

    c.send(QStringLiteral("*IDN?"));
    EXPECT_GT(c.reads(), 0);
    EXPECT_TRUE(c.label("SyntaxErrorMessage")->isHidden());
    EXPECT_FALSE(c.form().Timer1().isActive());
}

} // namespace
