#include "console/ConsoleHarness.h"

#include "platform/qt/QtMessageBoxes.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using console_testing::busWithDevicesAt;
using console_testing::ConsoleHarness;
using console_testing::focusName;
using testing::ElementsAre;
using testing_support::utf8;

QJsonArray numbers(std::initializer_list<int> values) {
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

TEST(StartUp, TakesTheBusFindsTheDevicesAndOpensTheDescriptorInOrder) {
    ConsoleHarness h;
    h.create();
    h.form().Form_Load();

    const auto calls = h.trace();
    std::vector<QString> ops;
    for (const auto& call : calls)
        ops.push_back(call.op);
    EXPECT_THAT(ops,
                ElementsAre("SendIFC", "ibsre", "SendIFC", "ibsre", "FindLstn", "ibdev", "ibpad",
                            "ibrsp", "ibpad", "ibrsp", "ibpad", "ibrsp", "ibpad", "ibtmo"));
    ASSERT_EQ(calls.size(), 14u);
    EXPECT_EQ(calls[0].args, numbers({0}));
    EXPECT_EQ(calls[1].args, numbers({0, 1}));
    EXPECT_EQ(calls[5].args, numbers({0, 1, 0, 11, 1, 0}));
    const int ud = h.form().session().devices.DeviceHandle;
    EXPECT_EQ(calls[6].args, numbers({ud, 5}));
    EXPECT_EQ(calls[8].args, numbers({ud, 9}));
    EXPECT_EQ(calls[10].args, numbers({ud, 22}));
    // Left on the first device under the standing time-out.
    EXPECT_EQ(calls[12].args, numbers({ud, 5}));
    EXPECT_EQ(calls[13].args, numbers({ud, 12}));
    EXPECT_EQ(h.form().session().devices.TimeoutCode, 12);
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST(StartUp, CaptionNamesTheVersionAndTheSimulatedBench) {
    ConsoleHarness simulated;
    simulated.create(true).Form_Load();
    EXPECT_EQ(simulated.form().windowTitle(),
              QStringLiteral("Vireon, v2.0 - Dec 2024 / TW [simulated bus]"));

    ConsoleHarness real;
    real.create(false).Form_Load();
    EXPECT_EQ(real.form().windowTitle(), QStringLiteral("Vireon, v2.0 - Dec 2024 / TW"));
    EXPECT_EQ(utf8(real.form().version().VersionText), "2.0");
    EXPECT_EQ(utf8(real.form().version().VersionDate), "Dec 2024");
    EXPECT_EQ(utf8(real.form().VerVR()), "2024-12-28 - v2.0");
}

TEST(StartUp, ThreeDevicesLeaveTheChoiceToTheOperator) {
    ConsoleHarness h;
    auto& form = h.start();

    const char* captions[] = {"5", "9", "22"};
    for (int k = 0; k < 14; ++k) {
        auto* button = h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
        SCOPED_TRACE(k);
        EXPECT_EQ(button->isEnabled(), k < 3);
        EXPECT_EQ(button->text().toStdString(), k < 3 ? captions[k] : "");
        EXPECT_FALSE(button->isChecked());
        EXPECT_FALSE(button->font().bold());
    }
    EXPECT_EQ(form.session().devices.SelectedDeviceIndex, 0);
    EXPECT_FALSE(h.control<QComboBox>("SendMessageList")->isEnabled());
    EXPECT_FALSE(h.control<QMenu>("History")->menuAction()->isEnabled());
    EXPECT_FALSE(h.control<QAction>("EnableSyntaxCheck")->isEnabled());
    EXPECT_FALSE(h.control<QAction>("SendToDevice")->isEnabled());
    EXPECT_FALSE(h.control<QPushButton>("DeleteOutgoingMessageEntry")->isEnabled());
    EXPECT_EQ(focusName(form), QStringLiteral("ReceivedMessages"));
}

TEST(StartUp, ALoneDeviceIsSelectedWithoutAClick) {
    ConsoleHarness h(busWithDevicesAt({7}));
    auto& form = h.start();

    const auto calls = h.trace();
    ASSERT_FALSE(calls.empty());
    // Selecting it moves the descriptor once more, after the standing time-out.
    EXPECT_EQ(calls.back().op, QStringLiteral("ibpad"));
    EXPECT_EQ(calls.back().args, numbers({form.session().devices.DeviceHandle, 7}));

    const auto& devices = form.session().devices;
    EXPECT_EQ(devices.SelectedDeviceIndex, 1);
    EXPECT_EQ(devices.SelectedAddress, 7);
    auto* first = h.control<QPushButton>("AddressButton_0");
    EXPECT_TRUE(first->isEnabled());
    EXPECT_EQ(first->text(), QStringLiteral("7"));
    // Regular type until the operator clicks it.
    EXPECT_FALSE(first->font().bold());
    for (int k = 1; k < 14; ++k) {
        auto* button = h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
        EXPECT_FALSE(button->isEnabled());
        EXPECT_TRUE(button->text().isEmpty());
    }
    EXPECT_TRUE(h.control<QComboBox>("SendMessageList")->isEnabled());
    EXPECT_TRUE(h.control<QMenu>("History")->menuAction()->isEnabled());
    EXPECT_TRUE(h.control<QAction>("EnableSyntaxCheck")->isEnabled());
    EXPECT_FALSE(h.control<QAction>("SendToDevice")->isEnabled());
    EXPECT_EQ(focusName(form), QStringLiteral("SendMessageList"));
}

TEST(StartUp, FourteenDevicesUseEveryButton) {
    std::vector<int> addresses;
    for (int a = 1; a <= 14; ++a)
        addresses.push_back(a * 2);
    ConsoleHarness h(busWithDevicesAt(addresses));
    h.start();
    EXPECT_EQ(h.form().session().devices.count(), 14);
    for (int k = 0; k < 14; ++k) {
        auto* button = h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
        EXPECT_TRUE(button->isEnabled());
        EXPECT_EQ(button->text(), QString::number(addresses[static_cast<std::size_t>(k)]));
    }
}

struct TerminatingCase {
    const char* name;
    std::vector<int> addresses;
    const char* text;
    const char* title;
};

class TerminatingStartUp : public testing::TestWithParam<TerminatingCase> {};

TEST_P(TerminatingStartUp, ShowsWhyAndEndsWithoutTouchingTheOptions) {
    ConsoleHarness h(busWithDevicesAt(GetParam().addresses));
    h.create();
    try {
        h.form().Form_Load();
        FAIL() << "the start-up went on";
    } catch (const testing_support::ProgramEnded& ended) {
        EXPECT_EQ(ended.exitCode, bus::kExitInitializationError);
    }
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    const auto& box = h.boxes.shown().front();
    EXPECT_EQ(utf8(box.text), GetParam().text);
    EXPECT_EQ(utf8(box.title), GetParam().title);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::Critical);
    // Nothing after the search: no descriptor, no data folder, no options.
    EXPECT_EQ(h.traceOps().back(), QStringLiteral("FindLstn"));
    EXPECT_FALSE(QFileInfo::exists(h.dataFolderPath()));
    EXPECT_TRUE(h.memorySettings.reads().empty());
    EXPECT_TRUE(h.memorySettings.writes().empty());
}

std::vector<int> fifteenDevices() {
    std::vector<int> addresses;
    for (int a = 1; a <= 15; ++a)
        addresses.push_back(a);
    return addresses;
}

INSTANTIATE_TEST_SUITE_P(
    Bus, TerminatingStartUp,
    testing::Values(TerminatingCase{"NoListener",
                                    {},
                                    "No listeners found.\n\nCorrect problem and restart.",
                                    "Initialization Error 14"},
                    TerminatingCase{"TooMany", fifteenDevices(),
                                    "Too many listeners found.\nMax 14 listeners allowed.\n\n"
                                    "Correct problem and restart.",
                                    "Initialization Error 20"}),
    [](const testing::TestParamInfo<TerminatingCase>& info) { return info.param.name; });

// The real exit: the process ends at once with the error's code.
TEST(StartUpDeathTest, NoListenerEndsTheProcess) {
    EXPECT_EXIT(
        {
            ConsoleHarness h(busWithDevicesAt({}));
            platform::QtProgramExit exit;
            console::ManualForm form(console::ConsoleSeams{h.bus(), true, h.boxes, exit,
                                                           h.fileDialogs, h.shell, h.memorySettings,
                                                           *h.dataFolder});
            form.Form_Load();
        },
        testing::ExitedWithCode(bus::kExitInitializationError), "");
}

TEST(StartUp, TheStartUpListIsReadFromTheDataFolder) {
    ConsoleHarness h;
    auto& form = h.create();
    form.Form_Load();

    const QString folder = h.dataFolderPath();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QString::fromStdU16String(form.state().DataFolder), folder);
    const QString startUp = QString::fromStdU16String(form.state().StartUpFile);
    EXPECT_EQ(startUp, folder + QDir::separator() + QStringLiteral("StartUp.gmg"));
    EXPECT_EQ(h.control<QLabel>("OutGoingFile")->text(), startUp);
}

TEST(StartUp, ADataFolderThatCannotBeMadeIsReportedOnceAndTheConsoleGoesOn) {
    ConsoleHarness h;
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("missing/Vireon"));
    h.dataFolder = std::make_unique<platform::LocalDataFolder>(
        QDir::toNativeSeparators(blocked).toStdU16String());
    auto& form = h.create();
    form.Form_Load();
    form.Form_Activate();

    ASSERT_EQ(h.boxes.shown().size(), 1u);
    const auto& box = h.boxes.shown().front();
    EXPECT_THAT(utf8(box.text),
                testing::HasSubstr(QDir::toNativeSeparators(blocked).toStdString()));
    EXPECT_THAT(utf8(box.text), testing::HasSubstr("could not be created"));
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_FALSE(form.state().DataFolderUsable);
    EXPECT_TRUE(h.control<QPushButton>("AddressButton_2")->isEnabled());
    EXPECT_TRUE(form.state().Activated);
}

TEST(StartUp, OnlyTheFirstActivationCounts) {
    ConsoleHarness h;
    auto& form = h.start();
    EXPECT_TRUE(form.state().Activated);
    const std::size_t reads = h.memorySettings.reads().size();
    EXPECT_EQ(reads, 11u);

    h.control<QPushButton>("AddressButton_1")->click();
    h.control<QCheckBox>("vrAddCR")->setChecked(true);
    form.Form_Activate();
    EXPECT_EQ(h.memorySettings.reads().size(), reads);
    EXPECT_TRUE(h.control<QCheckBox>("vrAddCR")->isChecked());
    EXPECT_TRUE(h.control<QPushButton>("AddressButton_1")->isChecked());
    EXPECT_EQ(focusName(form), QStringLiteral("SendMessageList"));
}

TEST(StartUp, TheWindowSystemsActivationLoadsTheOptions) {
    ConsoleHarness h;
    auto& form = h.create();
    form.Form_Load();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_TRUE(form.state().Activated);
    EXPECT_TRUE(h.control<QCheckBox>("vrID")->isChecked());
    form.hide();
}

} // namespace
