#include "syntaxcheck/SyntaxCheckConsole.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using syntaxcheck::kNoMethod;
using syntaxcheck::kSerialPollMethod;
using syntaxcheck::kStatusRegistersMethod;
using syntaxcheck_testing::BenchConsole;
using syntaxcheck_testing::captionColour;
using syntaxcheck_testing::closeButton;
using syntaxcheck_testing::kBlue;
using syntaxcheck_testing::option;
using syntaxcheck_testing::systemCaptionColour;

struct Dialog : testing::Test {
    std::int16_t method(int index) {
        return c.h.form().console().DeviceSyntaxMethod()[static_cast<std::size_t>(index)];
    }
    BenchConsole c;
};

TEST_F(Dialog, OpensForTheSelectedDeviceBelowTheWindowsCornerWithItsMethodSelected) {
    c.select(2);
    const bool opened = c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        auto* frame = form.findChild<QGroupBox*>(QStringLiteral("Frame1"));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), QStringLiteral(" Syntax Checking for device at address 22 "));
        EXPECT_EQ(form.pos(), c.h.form().pos() + QPoint(4, 104));
        EXPECT_TRUE(form.isModal());
        EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowTitleHint));

        EXPECT_EQ(option(form, 1)->text(), QStringLiteral("None"));
        EXPECT_EQ(option(form, 0)->text(),
                  QStringLiteral("Serial Poll Method (older instruments, e.g. TM5000, 11k)"));
        EXPECT_EQ(option(form, 2)->text(),
                  QStringLiteral("Status Registers Method (IEEE 488.2 compatible instruments "
                                 "e.g. TDS's)"));
        EXPECT_EQ(closeButton(form)->text(), QStringLiteral("&Close"));
        EXPECT_TRUE(option(form, 1)->isChecked());
        EXPECT_FALSE(option(form, 0)->isChecked());
        EXPECT_FALSE(option(form, 2)->isChecked());

        // Tab order: None, serial poll, status registers, Close.
        EXPECT_EQ(option(form, 1)->nextInFocusChain(), option(form, 0));
        EXPECT_EQ(option(form, 0)->nextInFocusChain(), option(form, 2));
        EXPECT_EQ(option(form, 2)->nextInFocusChain(), closeButton(form));
    });
    EXPECT_TRUE(opened);
}

TEST_F(Dialog, FrameCaptionKeepsASignPlaceBeforeTheAddress) {
    EXPECT_EQ(syntaxcheck::SyntaxCheckForm::frameCaption(5),
              QStringLiteral(" Syntax Checking for device at address 5 "));
    EXPECT_EQ(syntaxcheck::SyntaxCheckForm::frameCaption(12),
              QStringLiteral(" Syntax Checking for device at address 12 "));
}

TEST_F(Dialog, StatusRegistersMethodClearsTheDeviceAndSetsItsEnableRegistersEveryTime) {
    c.chooseMethod(2, kStatusRegistersMethod);

    auto calls = c.traceSinceMark();
    // The selection's own click comes first.
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].op, QStringLiteral("ibpad"));
    calls.erase(calls.begin());
    EXPECT_EQ(calls[0].op, QStringLiteral("DevClear"));
    EXPECT_EQ(calls[0].args, (QJsonArray{0, 22}));
    EXPECT_EQ(c.writesSinceMark(),
              (std::vector<QString>{QStringLiteral("DESE 32"), QStringLiteral("*ESE 32"),
                                    QStringLiteral("*SRE 48")}));
    EXPECT_EQ(calls[1].args.at(0).toInt(), c.h.form().session().devices.ButtonHandles[1]);
    EXPECT_EQ(method(3), kStatusRegistersMethod);
    EXPECT_EQ(captionColour(c.address(2)), kBlue);
    EXPECT_TRUE(c.h.boxes.shown().empty());

    c.markTrace();
    const bool opened = c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        EXPECT_TRUE(option(form, 2)->isChecked());
        EXPECT_FALSE(option(form, 1)->isChecked());
        QTest::mouseClick(closeButton(form), Qt::LeftButton);
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(c.opsSinceMark(),
              (std::vector<QString>{QStringLiteral("DevClear"), QStringLiteral("ibwrt"),
                                    QStringLiteral("ibwrt"), QStringLiteral("ibwrt")}));
}

TEST_F(Dialog, SerialPollMethodSendsNothingAndItsBlueOutlivesOtherSelections) {
    c.select(1);
    c.markTrace();
    c.chooseMethod(1, kSerialPollMethod);
    // Only the selection's own click reaches the bus.
    EXPECT_EQ(c.opsSinceMark(), (std::vector<QString>{QStringLiteral("ibpad")}));
    EXPECT_EQ(method(2), kSerialPollMethod);
    EXPECT_EQ(captionColour(c.address(1)), kBlue);
    EXPECT_TRUE(c.address(1)->font().bold());

    c.select(0);
    EXPECT_EQ(captionColour(c.address(1)), kBlue);
    EXPECT_FALSE(c.address(1)->font().bold());
    EXPECT_EQ(captionColour(c.address(0)), systemCaptionColour(c.address(0)));
    EXPECT_EQ(method(1), kNoMethod);

    c.select(1);
    EXPECT_EQ(captionColour(c.address(1)), kBlue);
    EXPECT_TRUE(c.address(1)->font().bold());
}

TEST_F(Dialog, NoneAfterAMethodSendsNothingAndGivesTheCaptionItsSystemColourBack) {
    c.chooseMethod(0, kStatusRegistersMethod);
    c.markTrace();
    c.chooseMethod(0, kNoMethod);
    EXPECT_EQ(c.opsSinceMark(), (std::vector<QString>{QStringLiteral("ibpad")}));
    EXPECT_EQ(method(1), kNoMethod);
    EXPECT_EQ(captionColour(c.address(0)), systemCaptionColour(c.address(0)));
    EXPECT_TRUE(c.address(0)->font().bold());
}

TEST_F(Dialog, ClosingItAnyOtherWayAppliesNothing) {
    c.chooseMethod(0, kSerialPollMethod);
    c.markTrace();
    const bool opened = c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        option(form, 2)->click();
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    });
    EXPECT_TRUE(opened);
    const bool reopened = c.withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        option(form, 1)->click();
        form.close();
    });
    EXPECT_TRUE(reopened);
    EXPECT_TRUE(c.traceSinceMark().empty());
    EXPECT_EQ(method(1), kSerialPollMethod);
    EXPECT_EQ(captionColour(c.address(0)), kBlue);
}

TEST_F(Dialog, ADoubleClickOnAnAddressButtonOpensItForThatDevice) {
    bool opened = false;
    c.whenDialogOpens(
        [&](syntaxcheck::SyntaxCheckForm& form) {
            EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(),
                      QStringLiteral(" Syntax Checking for device at address 9 "));
            form.reject();
        },
        opened);
    QPushButton* button = c.address(1);
    QTest::mouseDClick(c.h.form().windowHandle(), Qt::LeftButton, {},
                       button->mapTo(&c.h.form(), button->rect().center()));
    EXPECT_TRUE(opened);
    EXPECT_EQ(console_testing::focusName(c.h.form()), QStringLiteral("SendMessageList"));
}

} // namespace
