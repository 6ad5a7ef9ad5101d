#include "console/ConsoleHarness.h"

#include "console/Options.h"
#include "platform/qt/QtSettingsStore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using console_testing::ConsoleHarness;
using console_testing::focusName;
using testing_support::utf8;

constexpr std::u16string_view kSection = u"Settings";

// --- Reading a stored text ------------------------------------------------

struct NumberCase {
    std::u16string text;
    std::optional<double> number;
};

class LeadingNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumber, IsTheNumberTheTextStartsWith) {
    EXPECT_EQ(console::leadingNumber(GetParam().text), GetParam().number) << utf8(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    StoredText, LeadingNumber,
    testing::Values(NumberCase{u"0", 0.0}, NumberCase{u"1", 1.0}, NumberCase{u"  1", 1.0},
                    NumberCase{u"\t2", 2.0}, NumberCase{u"-1", -1.0}, NumberCase{u"+3", 3.0},
                    NumberCase{u"1.5", 1.5}, NumberCase{u".5", 0.5}, NumberCase{u"1e2", 100.0},
                    NumberCase{u"12abc", 12.0}, NumberCase{u"1 2", 1.0},
                    NumberCase{u"", std::nullopt}, NumberCase{u"abc", std::nullopt},
                    NumberCase{u"nan", std::nullopt}, NumberCase{u"inf", std::nullopt},
                    NumberCase{u"-", std::nullopt}, NumberCase{u"+-1", std::nullopt},
                    NumberCase{u"\u00e91", std::nullopt}, NumberCase{u"1e999", std::nullopt}));

struct OptionCase {
    std::optional<std::u16string> stored;
    std::u16string defaultValue;
    bool checkBox;
    bool menu;
};

class OptionValue : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionValue, CheckBoxesRoundMenusDoNot) {
    const OptionCase& c = GetParam();
    SCOPED_TRACE(c.stored ? utf8(*c.stored) : std::string("(missing)"));
    EXPECT_EQ(console::checkBoxOption(c.stored, c.defaultValue), c.checkBox);
    EXPECT_EQ(console::menuOption(c.stored, c.defaultValue), c.menu);
}

INSTANTIATE_TEST_SUITE_P(
    StoredText, OptionValue,
    testing::Values(OptionCase{std::nullopt, u"1", true, true},
                    OptionCase{std::nullopt, u"0", false, false},
                    OptionCase{u"0", u"1", false, false}, OptionCase{u"1", u"0", true, true},
                    // Hand-edited values: anything not 0 counts as on.
                    OptionCase{u"2", u"0", true, true}, OptionCase{u"-1", u"0", true, true},
                    OptionCase{u"0.4", u"0", false, true}, OptionCase{u"0.6", u"0", true, true},
                    OptionCase{u"0.5", u"1", false, true}, OptionCase{u"1.5", u"0", true, true},
                    // A stored text without a leading number counts as 0.
                    OptionCase{u"yes", u"1", false, false}, OptionCase{u"yes", u"0", false, false},
                    OptionCase{u"", u"1", false, false}, OptionCase{u"1e999", u"1", false, false}));

// --- In the window ----------------------------------------------------------

const char* const kBoxes[] = {
    "vrID",    "vrIDN",   "CheckListForMatch",   "Caps", "AllowMultipleCommands",
    "vrAddCR", "vrAddLF", "vrSelectNextListItem"};

TEST(Options, AFirstStartShowsTheDefaultsAndWritesNothing) {
    ConsoleHarness h;
    auto& form = h.create();
    form.Form_Load();
    // Designed unchecked; the defaults differ.
    EXPECT_FALSE(h.control<QCheckBox>("vrID")->isChecked());
    form.Form_Activate();

    const bool expected[] = {true, true, false, true, false, false, false, false};
    for (std::size_t i = 0; i < std::size(kBoxes); ++i)
        EXPECT_EQ(h.control<QCheckBox>(kBoxes[i])->isChecked(), expected[i]) << kBoxes[i];
    EXPECT_FALSE(h.control<QAction>("AutoClear")->isChecked());
    EXPECT_TRUE(h.control<QAction>("AutoClear")->isEnabled());
    EXPECT_FALSE(h.control<QAction>("SendToFile")->isChecked());
    EXPECT_TRUE(h.control<QPushButton>("IdAll")->isEnabled());
    EXPECT_EQ(form.state().SelectedDataFolder, form.state().DataFolder);
    for (bool changed : form.state().SettingsChanged)
        EXPECT_FALSE(changed);

    // The keys are read once each, in the designed order.
    std::vector<std::string> keys;
    for (const auto& [section, key] : h.memorySettings.reads()) {
        EXPECT_EQ(utf8(section), "Settings");
        keys.push_back(utf8(key));
    }
    EXPECT_THAT(keys,
                testing::ElementsAre("SelectedDataFolder", "ID", "IDN", "Find Matching Commands",
                                     "Caps Only", "Allow Multiple Commands", "Add CR", "Add LF",
                                     "Select Next ListItem", "Auto Clear", "Send To File"));

    form.close();
    EXPECT_TRUE(h.memorySettings.writes().empty());
}

TEST(Options, OnlyChangedOptionsAreWrittenEvenWhenChangedBack) {
    ConsoleHarness h;
    auto& form = h.start();
    auto* addCr = h.control<QCheckBox>("vrAddCR");
    addCr->click();
    addCr->click();
    h.control<QCheckBox>("Caps")->click();
    h.control<QCheckBox>("vrIDN")->click();
    h.control<QAction>("AutoClear")->trigger();
    form.close();

    std::vector<std::pair<std::string, std::string>> writes;
    for (const auto& [key, value] : h.memorySettings.writes())
        writes.emplace_back(utf8(key.second), utf8(value));
    EXPECT_THAT(writes, testing::ElementsAre(
                            testing::Pair("IDN", "0"), testing::Pair("Caps Only", "0"),
                            testing::Pair("Add CR", "0"), testing::Pair("Auto Clear", "1")));
}

TEST(Options, SelectedDataFolderIsWrittenOnlyWhenItDiffers) {
    ConsoleHarness same;
    same.start().close();
    EXPECT_TRUE(same.memorySettings.writes().empty());

    ConsoleHarness other;
    auto& form = other.start();
    form.state().SelectedDataFolder = u"/data/elsewhere";
    form.close();
    ASSERT_EQ(other.memorySettings.writes().size(), 1u);
    EXPECT_EQ(utf8(other.memorySettings.writes()[0].first.second), "SelectedDataFolder");
    EXPECT_EQ(utf8(other.memorySettings.writes()[0].second), "/data/elsewhere");
}

TEST(Options, StoredValuesSetTheControls) {
    ConsoleHarness h;
    const std::pair<std::u16string_view, std::u16string_view> stored[] = {
        {u"SelectedDataFolder", u"/measurements"},
        {u"ID", u"0"},
        {u"IDN", u"0"},
        {u"Find Matching Commands", u"1"},
        {u"Caps Only", u"garbage"},
        {u"Allow Multiple Commands", u"2"},
        {u"Add CR", u" 1"},
        {u"Add LF", u"1junk"},
        {u"Select Next ListItem", u"-1"},
        {u"Auto Clear", u"0"},
        {u"Send To File", u"1"}};
    for (const auto& [key, value] : stored)
        h.memorySettings.preset(kSection, key, value);
    auto& form = h.start();

    EXPECT_EQ(utf8(form.state().SelectedDataFolder), "/measurements");
    EXPECT_FALSE(h.control<QCheckBox>("vrID")->isChecked());
    EXPECT_FALSE(h.control<QCheckBox>("vrIDN")->isChecked());
    // Neither query chosen: nothing to ask all devices.
    EXPECT_FALSE(h.control<QPushButton>("IdAll")->isEnabled());
    EXPECT_TRUE(h.control<QCheckBox>("CheckListForMatch")->isChecked());
    EXPECT_FALSE(h.control<QCheckBox>("Caps")->isChecked()); // no leading number: 0
    EXPECT_TRUE(h.control<QCheckBox>("AllowMultipleCommands")->isChecked());
    EXPECT_TRUE(h.control<QCheckBox>("vrAddCR")->isChecked());
    EXPECT_TRUE(h.control<QCheckBox>("vrAddLF")->isChecked());
    EXPECT_TRUE(h.control<QCheckBox>("vrSelectNextListItem")->isChecked());
    EXPECT_FALSE(h.control<QAction>("AutoClear")->isChecked());
    EXPECT_FALSE(h.control<QAction>("AutoClear")->isEnabled());
    EXPECT_TRUE(h.control<QAction>("SendToFile")->isChecked());
    for (bool changed : form.state().SettingsChanged)
        EXPECT_FALSE(changed);
}

TEST(Options, SendToFileOffLeavesAutoClearAsStored) {
    ConsoleHarness h;
    h.memorySettings.preset(kSection, u"Auto Clear", u"1");
    h.memorySettings.preset(kSection, u"Send To File", u"0");
    h.start();
    EXPECT_TRUE(h.control<QAction>("AutoClear")->isChecked());
    EXPECT_TRUE(h.control<QAction>("AutoClear")->isEnabled());
    EXPECT_FALSE(h.control<QAction>("SendToFile")->isChecked());
}

TEST(Options, ABoxClickReturnsTheFocusToTheEntryBoxOnceItIsEnabled) {
    ConsoleHarness h;
    auto& form = h.start();
    h.control<QCheckBox>("vrAddLF")->setFocus();
    h.control<QCheckBox>("vrAddLF")->click();
    EXPECT_EQ(focusName(form), QStringLiteral("vrAddLF"));

    h.control<QPushButton>("AddressButton_0")->click();
    h.control<QCheckBox>("vrAddLF")->setFocus();
    h.control<QCheckBox>("vrAddLF")->click();
    EXPECT_EQ(focusName(form), QStringLiteral("SendMessageList"));
    h.control<QCheckBox>("vrID")->click();
    EXPECT_EQ(focusName(form), QStringLiteral("SendMessageList"));
}

TEST(Options, IdAllFollowsTheQueryChoice) {
    ConsoleHarness h;
    h.start();
    auto* id = h.control<QCheckBox>("vrID");
    auto* idn = h.control<QCheckBox>("vrIDN");
    auto* idAll = h.control<QPushButton>("IdAll");
    id->click();
    EXPECT_TRUE(idAll->isEnabled());
    idn->click();
    EXPECT_FALSE(idAll->isEnabled());
    id->click();
    EXPECT_TRUE(idAll->isEnabled());
}

// --- Through the real settings store -----------------------------------------

QString iniIn(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("Vireon.ini"));
}

TEST(OptionsStore, SurviveARestart) {
    QTemporaryDir dir;
    {
        auto store = platform::QtSettingsStore::inFile(iniIn(dir));
        ConsoleHarness h(bus::SimulatedBus::defaultBench(), &store);
        auto& form = h.start();
        h.control<QCheckBox>("vrAddCR")->click();
        h.control<QCheckBox>("Caps")->click();
        h.control<QCheckBox>("vrID")->click();
        h.control<QAction>("SendToFile")->trigger();
        form.state().SelectedDataFolder = u"/data/runs";
        form.close();
    }
    {
        auto store = platform::QtSettingsStore::inFile(iniIn(dir));
        ConsoleHarness h(bus::SimulatedBus::defaultBench(), &store);
        auto& form = h.start();
        EXPECT_TRUE(h.control<QCheckBox>("vrAddCR")->isChecked());
        EXPECT_FALSE(h.control<QCheckBox>("Caps")->isChecked());
        EXPECT_FALSE(h.control<QCheckBox>("vrID")->isChecked());
        EXPECT_TRUE(h.control<QCheckBox>("vrIDN")->isChecked());
        EXPECT_TRUE(h.control<QAction>("SendToFile")->isChecked());
        EXPECT_FALSE(h.control<QAction>("AutoClear")->isEnabled());
        EXPECT_EQ(utf8(form.state().SelectedDataFolder), "/data/runs");
    }
    QFile file(iniIn(dir));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Settings]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Add%20CR=1")) << text.toStdString();
}

TEST(OptionsStore, ADamagedFileGivesDefaultsForWhatCannotBeReadAndLosesNothingElse) {
    QTemporaryDir dir;
    {
        QFile file(iniIn(dir));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x01\x02 binary junk \xff\xfe\n"
                   "[Settings\n"
                   "[Settings]\n"
                   "Add%20LF=1\n"
                   "Caps%20Only=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18)\n"
                   "ID=1, 0\n"
                   "Add%20CR=what\n"
                   "this line has no equals sign\n"
                   "Select%20Next%20ListItem=1\n");
    }
    {
        auto store = platform::QtSettingsStore::inFile(iniIn(dir));
        ConsoleHarness h(bus::SimulatedBus::defaultBench(), &store);
        auto& form = h.start();
        EXPECT_TRUE(h.control<QCheckBox>("vrAddLF")->isChecked());
        EXPECT_TRUE(h.control<QCheckBox>("vrSelectNextListItem")->isChecked());
        EXPECT_TRUE(h.control<QCheckBox>("Caps")->isChecked());
        EXPECT_TRUE(h.control<QCheckBox>("vrID")->isChecked());
        EXPECT_FALSE(h.control<QCheckBox>("vrAddCR")->isChecked());
        h.control<QCheckBox>("AllowMultipleCommands")->click();
        form.close();
    }
    auto store = platform::QtSettingsStore::inFile(iniIn(dir));
    EXPECT_EQ(store.read(kSection, u"Allow Multiple Commands"), std::u16string(u"1"));
    EXPECT_EQ(store.read(kSection, u"Add LF"), std::u16string(u"1"));
    EXPECT_EQ(store.read(kSection, u"Select Next ListItem"), std::u16string(u"1"));
}

} // namespace
