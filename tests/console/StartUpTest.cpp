#include "console/ConsoleHarness.h"

#include "platform/qt/QtMessageBoxes.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

namespace {

using console_testing::busWithDevicesAt;
using console_testing::ConsoleHarness;
using testing_support::utf8;

// The devices found, and what the console shows then: the buttons, the lone
// device selected; or, with none or too many, the box before the program ends.
struct StartCase {
    const char* name;
    std::vector<int> addresses;
    int selectedIndex;
    const char* focus; // nullptr: the program ends (its box is Discovery's)
};

class StartUp : public testing::TestWithParam<StartCase> {};

TEST_P(StartUp, ShowsTheDevicesFoundOrWhyItEnds) {
    const StartCase& c = GetParam();
    ConsoleHarness h(busWithDevicesAt(c.addresses));
    if (!c.focus) {
        h.create();
        EXPECT_THROW(h.form().Form_Load(), testing_support::ProgramEnded);
        EXPECT_EQ(h.boxes.shown().size(), 1u);
        EXPECT_FALSE(QFileInfo::exists(h.dataFolderPath()));
        return;
    }
    h.start();
    for (std::size_t k = 0; k < 14; ++k) {
        const bool found = k < c.addresses.size();
        EXPECT_EQ(h.address(int(k))->isEnabled(), found) << k;
        EXPECT_EQ(h.address(int(k))->text(), found ? QString::number(c.addresses[k]) : QString());
        EXPECT_FALSE(h.address(int(k))->isChecked()) << k; // regular type until clicked
    }
    EXPECT_EQ(h.form().session().devices.SelectedDeviceIndex, c.selectedIndex);
    EXPECT_EQ(h.focus().toStdString(), c.focus);
    EXPECT_EQ(h.box()->isEnabled(), c.selectedIndex != 0);
    EXPECT_TRUE(h.boxes.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bus, StartUp,
    testing::Values(
        StartCase{"One", {7}, 1, "SendMessageList"},
        StartCase{"Fourteen",
                  {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28},
                  0,
                  "ReceivedMessages"},
        StartCase{"TooMany", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 0, nullptr}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// The real exit: the process ends at once with the error's code. Which code
// start-up ends with is Discovery's (see DiscoveryTest).
TEST(StartUpDeathTest, TheRealExitEndsTheProcessWithTheCode) {
    EXPECT_EXIT(platform::QtProgramExit().endProgram(bus::kExitInitializationError),
                testing::ExitedWithCode(bus::kExitInitializationError), "");
}

TEST(StartUpWindow, CaptionSaysSimulatedAndOnlyTheFirstActivationLoadsTheOptions) {
    ConsoleHarness real;
    real.create(false).Form_Load();
    EXPECT_EQ(real.form().windowTitle(), QStringLiteral("Vireon, v2.0 - Dec 2024 / TW"));
    ConsoleHarness h;
    h.settings.write(u"Settings", u"Add CR", u"0");
    auto& form = h.create();
    form.Form_Load();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vireon, v2.0 - Dec 2024 / TW [simulated bus]"));
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_FALSE(h.check("vrAddCR")->isChecked()); // as stored
    h.check("vrAddCR")->setChecked(true);
    form.Form_Activate();
    EXPECT_TRUE(h.check("vrAddCR")->isChecked());
}

TEST(StartUpWindow, ADataFolderThatCannotBeMadeIsReportedAndTheConsoleGoesOn) {
    ConsoleHarness h;
    const QString blocked = QDir::toNativeSeparators(h.dataFolderPath() + QStringLiteral("/no/V"));
    h.dataFolder = std::make_unique<platform::LocalDataFolder>(blocked.toStdU16String());
    h.start();
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    const auto& box = h.boxes.shown().front();
    EXPECT_EQ(std::tuple(utf8(box.title), box.buttons, box.icon),
              std::tuple("Data Folder", platform::Buttons::Ok, platform::Icon::Exclamation));
    EXPECT_EQ(utf8(box.text), "The data folder\n" + blocked.toStdString() +
                                  "\ncould not be created: " + utf8(h.dataFolder->prepare().error) +
                                  ".\n\nThe console goes on without its start-up message list.");
    EXPECT_TRUE(h.form().state().Activated);
}

} // namespace
