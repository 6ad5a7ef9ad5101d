#include "console/InterfaceDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// What the dialog shows for a back end is what it gives back unchanged.
TEST(InterfaceChoice, ShowsAndGivesBackTheBackEndsItOffers) {
    for (const char* backEnd :
         {"sim", "gpib", "prologix:/dev/ttyUSB0", "ar488:COM3", "prologix:lab-gpib:1234",
          "ar488:[::1]:99", "vxi11:lab-gw", "vxi11:lab-gw/gpib0", "vxi11:[fe80::1]:1111/inst1",
          "vxi11:10.0.0.5/gpib0,22", "hislip:lab-scope", "hislip:10.0.0.5:4881/hislip2"})
        EXPECT_EQ(console::backEndOf(console::interfaceOf(backEnd)), backEnd);
    EXPECT_EQ(console::backEndOf(console::interfaceOf("prologix:lab-gpib")),
              "prologix:lab-gpib:1234");
    EXPECT_EQ(console::backEndOf(console::interfaceOf("replay:run.jsonl")), "sim");
}

TEST(InterfaceChoice, TheCaptionNamesAnAdapterOrALanDevice) {
    EXPECT_EQ(console::interfaceCaption("prologix:/dev/ttyUSB0"), "Prologix on /dev/ttyUSB0");
    EXPECT_EQ(console::interfaceCaption("ar488:10.0.0.7:23"), "AR488 on 10.0.0.7:23");
    EXPECT_EQ(console::interfaceCaption("vxi11:lab-gw/gpib0"), "VXI-11 gpib0 on lab-gw");
    EXPECT_EQ(console::interfaceCaption("vxi11:lab-gw"), "VXI-11 inst0 on lab-gw");
    EXPECT_EQ(console::interfaceCaption("hislip:[::1]:4881"), "HiSLIP hislip0 on [::1]:4881");
    EXPECT_EQ(console::interfaceCaption("sim"), "");
}

template <typename Widget> Widget* child(QDialog* dialog, const char* name) {
    auto* widget = dialog->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Find asks nothing until pressed, then asks on the interface chosen; what
// it finds is listed with its notes, and choosing one fills the fields.
TEST(InterfaceDialog, FindListsWhatAnswersOnTheChosenInterfaceAndFillsTheChoice) {
    std::atomic<int> asked = 0;
    std::string askedOn;
    console::LanFinder finder;
    finder.interfaces = [] {
        return std::vector<bus::vxi11::NetworkInterface>{{"eth0", "10.1.1.2", "10.1.1.255"},
                                                         {"eth1", "192.0.2.2", "192.0.2.255"}};
    };
    finder.find = [&](const std::string& broadcast) {
        askedOn = broadcast;
        ++asked;
        bus::vxi11::LanFindResult result;
        result.found = {{false, "192.0.2.5", 0, "", "portmapper"},
                        {true, "192.0.2.9", 4881, "scope", "mDNS"}};
        result.notes = {"portmapper: the broadcast to 192.0.2.255 failed (no route)"};
        return result;
    };
    int askedBeforeFind = -1;
    QString status, deviceShown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        askedBeforeFind = asked;
        deviceShown = child<QLineEdit>(dialog, "Device")->text();
        child<QComboBox>(dialog, "NetworkInterface")->setCurrentIndex(1);
        child<QPushButton>(dialog, "Find")->click();
        auto* found = child<QListWidget>(dialog, "Found");
        // The answer comes back as an event; the deadline only keeps a
        // broken dialog from holding the run.
        const QDeadlineTimer deadline(10000);
        while (found->count() < 2 && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(found->count(), 2);
        EXPECT_EQ(found->item(1)->text(), QStringLiteral("scope - HiSLIP 192.0.2.9:4881 (mDNS)"));
        status = child<QLabel>(dialog, "FindStatus")->text();
        found->setCurrentRow(1);
        dialog->accept();
    });
    const std::optional<std::string> chosen =
        console::askInterface(nullptr, "vxi11:lab-gw/gpib0", false, {}, finder);
    EXPECT_EQ(askedBeforeFind, 0);
    EXPECT_EQ(deviceShown, QStringLiteral("gpib0"));
    EXPECT_EQ(askedOn, "192.0.2.255");
    EXPECT_EQ(status, QStringLiteral("2 found.\nportmapper: the broadcast to 192.0.2.255 failed "
                                     "(no route)"));
    EXPECT_EQ(chosen, "hislip:192.0.2.9:4881") << "a VXI-11 device is no HiSLIP sub-address";
}

} // namespace
