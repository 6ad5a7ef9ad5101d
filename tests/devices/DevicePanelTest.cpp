#include "syntaxcheck/SyntaxCheckForm.h"

#include "console/ConsoleHarness.h"
#include <QTimer>

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using console_testing::busWithDevicesAt;
using console_testing::ConsoleHarness;
using console_testing::focusName;
using testing_support::utf8;

QPushButton* addressButton(ConsoleHarness& h, int k) {
    return h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
}

// The console on the default bench (5, 9, 22), started and on screen.
struct Panel : testing::Test {
    Panel() {
        h.start().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&h.form()));
    }
    void clickAddress(int k) { QTest::mouseClick(addressButton(h, k), Qt::LeftButton); }
    const bus::DeviceTable& table() { return h.form().session().devices; }

    ConsoleHarness h;
};

TEST_F(Panel, AClickSelectsTheDeviceAndMovesTheDescriptorToIt) {
    clickAddress(1);

    EXPECT_EQ(table().SelectedDeviceIndex, 2);
    EXPECT_EQ(table().SelectedAddress, 9);
    const auto calls = h.trace();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, QStringLiteral("ibpad"));
    EXPECT_EQ(calls.back().args, (QJsonArray{table().DeviceHandle, 9}));

    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(addressButton(h, k)->isChecked(), k == 1);
        EXPECT_EQ(addressButton(h, k)->font().bold(), k == 1);
    }
    EXPECT_TRUE(h.control<QComboBox>("SendMessageList")->isEnabled());
    EXPECT_TRUE(h.control<QMenu>("History")->menuAction()->isEnabled());
    EXPECT_TRUE(h.control<QAction>("EnableSyntaxCheck")->isEnabled());
    EXPECT_TRUE(h.control<QAction>("SendToDevice")->isEnabled());
    EXPECT_TRUE(h.control<QAction>("SelectDevice")->isEnabled());
    EXPECT_EQ(focusName(h.form()), QStringLiteral("SendMessageList"));
}

TEST_F(Panel, ANewSelectionReleasesTheOldOne) {
    clickAddress(1);
    clickAddress(2);

    EXPECT_EQ(table().SelectedDeviceIndex, 3);
    EXPECT_EQ(table().SelectedAddress, 22);
    EXPECT_EQ(h.trace().back().args, (QJsonArray{table().DeviceHandle, 22}));
    EXPECT_FALSE(addressButton(h, 1)->isChecked());
    EXPECT_FALSE(addressButton(h, 1)->font().bold());
    EXPECT_TRUE(addressButton(h, 2)->isChecked());
    EXPECT_TRUE(addressButton(h, 2)->font().bold());
    EXPECT_FALSE(addressButton(h, 0)->font().bold());
    EXPECT_TRUE(h.control<QComboBox>("SendMessageList")->isEnabled());
}

TEST_F(Panel, ButtonsOfAddressesNotFoundCannotBeClicked) {
    const std::size_t calls = h.traceLength();
    clickAddress(3);
    clickAddress(13);
    EXPECT_EQ(h.traceLength(), calls);
    EXPECT_EQ(table().SelectedDeviceIndex, 0);
    EXPECT_FALSE(addressButton(h, 3)->isChecked());
}

TEST_F(Panel, SyntaxCheckWaitsForASelection) {
    auto* syntaxCheck = h.control<QAction>("EnableSyntaxCheck");
    EXPECT_FALSE(syntaxCheck->isEnabled());
    clickAddress(0);
    EXPECT_TRUE(syntaxCheck->isEnabled());
}

TEST_F(Panel, ADoubleClickSelectsThenOpensTheSyntaxCheckForThatDevice) {
    int opened = 0;
    int selectedWhenOpened = 0;
    // The dialog is closed as soon as it shows, as Escape would.
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* dialog = h.form().findChild<syntaxcheck::SyntaxCheckForm*>();
        if (dialog == nullptr || !dialog->isVisible()) return;
        ++opened;
        selectedWhenOpened = table().SelectedAddress;
        dialog->reject();
        watch.stop();
    });
    const auto closeTheDialog = [&] { watch.start(); };
    closeTheDialog();
    // Through the window system, so the double click comes as it does from a
    // mouse: press, release, press, double click, release.
    QPushButton* button = addressButton(h, 2);
    QTest::mouseDClick(h.form().windowHandle(), Qt::LeftButton, {},
                       button->mapTo(&h.form(), button->rect().center()));

    EXPECT_EQ(opened, 1);
    EXPECT_EQ(selectedWhenOpened, 22);
    EXPECT_TRUE(addressButton(h, 2)->isChecked());
    EXPECT_EQ(focusName(h.form()), QStringLiteral("SendMessageList"));

    closeTheDialog();
    h.control<QAction>("EnableSyntaxCheck")->trigger();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(focusName(h.form()), QStringLiteral("SendMessageList"));
}

TEST_F(Panel, TheSelectDeviceHintLeavesTheFocusUntilADeviceIsSelected) {
    auto* hint = h.control<QAction>("SelectDevice");
    hint->trigger();
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    const auto& box = h.boxes.shown().front();
    EXPECT_EQ(utf8(box.text), "Select a device with the buttons under Device Address.");
    EXPECT_EQ(utf8(box.title), "Select Device");
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::None);
    EXPECT_EQ(focusName(h.form()), QStringLiteral("ReceivedMessages"));

    clickAddress(0);
    h.control<QWidget>("ReceivedMessages")->setFocus();
    hint->trigger();
    EXPECT_EQ(h.boxes.shown().size(), 2u);
    EXPECT_EQ(focusName(h.form()), QStringLiteral("SendMessageList"));
}

TEST(LoneDevice, ItsFirstClickMakesItBoldAndEnablesTheFileTransfer) {
    ConsoleHarness h(busWithDevicesAt({12}));
    h.start();
    auto* send = h.control<QAction>("SendToDevice");
    EXPECT_FALSE(send->isEnabled());
    addressButton(h, 0)->click();
    EXPECT_TRUE(send->isEnabled());
    EXPECT_TRUE(addressButton(h, 0)->font().bold());
    EXPECT_TRUE(addressButton(h, 0)->isChecked());
}

} // namespace
