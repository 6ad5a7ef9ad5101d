#include "console/ConsoleHarness.h"

#include "syntaxcheck/SyntaxCheckForm.h"

#include <QGroupBox>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

using namespace console_testing;
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
    bool blue(int k) { return c.address(k)->palette().color(QPalette::ButtonText) == Qt::blue; }
    BenchConsole c{bus::SimulatedBus::defaultBench(), -1};
};

TEST_F(Dialog, OpensForTheDoubleClickedDeviceWithItsMethodAndOnlyCloseAppliesTheChoice) {
    QPushButton* button = c.address(2);
    EXPECT_TRUE(c.withDialog(
        [&](syntaxcheck::SyntaxCheckForm& form) {
            EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(),
                      QStringLiteral(" Syntax Checking for device at address 22 "));
            EXPECT_TRUE(option(form, kNoMethod)->isChecked());
        },
        [&] {
            QTest::mouseDClick(c.form().windowHandle(), Qt::LeftButton, {},
                               button->mapTo(&c.form(), button->rect().center()));
        }));
    EXPECT_EQ(c.focus(), QStringLiteral("SendMessageList"));
    c.markTrace();
    c.chooseMethod(2, kStatusRegistersMethod);
    EXPECT_EQ(method(2), kStatusRegistersMethod);
    EXPECT_TRUE(blue(2));
    EXPECT_EQ(c.writes().size(), 3u); // the device's status registers are set up
    EXPECT_TRUE(c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        EXPECT_TRUE(option(form, kStatusRegistersMethod)->isChecked());
    }));
    c.chooseMethod(2, kNoMethod);
    EXPECT_FALSE(blue(2));

    // Escape or the window's close apply nothing; the blue stays with its device.
    c.chooseMethod(1, kSerialPollMethod);
    c.markTrace();
    for (bool escape : {true, false})
        EXPECT_TRUE(c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
            option(form, kStatusRegistersMethod)->click();
            escape ? QTest::keyClick(&form, Qt::Key_Escape) : (void)form.close();
        }));
    EXPECT_TRUE(c.traceSinceMark().empty());
    EXPECT_EQ(method(1), kSerialPollMethod);
    c.select(0);
    EXPECT_TRUE(blue(1));
    EXPECT_FALSE(blue(0));
}

// The calls of the check are SyntaxCheck's and the console's; the window
// shows the verdict.
TEST(SyntaxCheckWindow, ARejectedMessageIsNotReadAndBlinksTheLabelUntilTheNextMessage) {
    BenchConsole c;
    c.chooseMethod(0, kStatusRegistersMethod);
    c.markTrace();
    run(c, "S:MEAS:BOGUS?");
    EXPECT_EQ(c.reads(), 0);
    EXPECT_TRUE(c.form().Timer1().isActive());
    run(c, "S:*IDN? X:SyntaxErrorMessage.visible");
    EXPECT_GT(c.reads(), 0);
}

} // namespace
