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
// device selected; or, with too many, the box before the program ends (its
// box is Discovery's).
class StartUp : public testing::TestWithParam<std::vector<int>> {};

TEST_P(StartUp, ShowsTheDevicesFoundOrWhyItEnds) {
    const std::vector<int>& addresses = GetParam();
    ConsoleHarness h(busWithDevicesAt(addresses));
    if (addresses.size() > 14) {
        h.create();
        EXPECT_THROW(h.form().Form_Load(), testing_support::ProgramEnded);
        EXPECT_EQ(h.boxes.shown().size(), 1u);
        EXPECT_FALSE(QFileInfo::exists(h.dataFolderPath()));
        return;
    }
    h.start();
    for (std::size_t k = 0; k < 14; ++k) {
        const bool found = k < addresses.size();
        EXPECT_EQ(h.address(int(k))->isEnabled(), found) << k;
        EXPECT_EQ(h.address(int(k))->text(), found ? QString::number(addresses[k]) : QString());
        EXPECT_FALSE(h.address(int(k))->isChecked()) << k; // regular type until clicked
    }
    const bool lone = addresses.size() == 1;
    EXPECT_EQ(h.form().session().devices.SelectedDeviceIndex, lone ? 1 : 0);
    EXPECT_EQ(h.focus(), lone ? "SendMessageList" : "ReceivedMessages");
    EXPECT_EQ(h.box()->isEnabled(), lone);
    EXPECT_TRUE(h.boxes.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bus, StartUp,
    testing::Values(std::vector<int>{7},
                    std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28},
                    std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}),
    [](const auto& info) { return "Found" + std::to_string(info.param.size()); });

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
