#include "console/ConsoleHarness.h"

#include "console/Options.h"
#include "platform/qt/QtSettingsStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

using console_testing::ConsoleHarness;

// One option through a real INI file: what is stored sets the control; the
// operator's click is written back, and only that key.
struct OptionCase {
    const char* key;
    const char* control;
    std::optional<std::u16string> stored;
    bool checked;
};

class OptionsFile : public testing::TestWithParam<OptionCase> {
protected:
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("Vireon.ini"));
};

TEST_P(OptionsFile, SetsTheControlAndKeepsTheOperatorsChoice) {
    const OptionCase& c = GetParam();
    const std::u16string key = QString::fromLatin1(c.key).toStdU16String();
    if (c.stored) {
        ASSERT_TRUE(platform::QtSettingsStore::inFile(ini).write(u"Settings", key, *c.stored));
    }
    {
        auto store = platform::QtSettingsStore::inFile(ini);
        ConsoleHarness h(bus::SimulatedBus::defaultBench(), &store);
        h.start();
        EXPECT_EQ(h.control<QObject>(c.control)->property("checked").toBool(), c.checked);
        if (auto* box = h.form().findChild<QCheckBox*>(QLatin1String(c.control)))
            box->click();
        else
            h.action(c.control)->trigger();
        h.form().close();
    }
    auto store = platform::QtSettingsStore::inFile(ini);
    EXPECT_EQ(store.read(u"Settings", key), c.checked ? u"0" : u"1");
    for (const console::OptionKey& other : console::kOptionKeys) {
        if (other.key != key) {
            EXPECT_EQ(store.read(u"Settings", other.key), std::nullopt);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Console, OptionsFile,
    testing::Values(OptionCase{"ID", "vrID", std::nullopt, true},
                    OptionCase{"IDN", "vrIDN", u"0", false},
                    OptionCase{"Find Matching Commands", "CheckListForMatch", u"1", true},
                    OptionCase{"Caps Only", "Caps", u"garbage", false},
                    OptionCase{"Allow Multiple Commands", "AllowMultipleCommands", u"2", true},
                    OptionCase{"Add CR", "vrAddCR", u" 1", true},
                    OptionCase{"Add LF", "vrAddLF", u"1junk", true},
                    // Check boxes round the number; menu entries do not.
                    OptionCase{"Select Next ListItem", "vrSelectNextListItem", u"0.4", false},
                    OptionCase{"Auto Clear", "AutoClear", u"0.4", true},
                    OptionCase{"Send To File", "SendToFile", std::nullopt, false}),
    [](const testing::TestParamInfo<OptionCase>& info) {
        return QString::fromLatin1(info.param.control).toStdString();
    });

// Which options are written is OptionsFile's: only the one clicked.
TEST(Options, TheDataFolderIsWrittenOnlyWhenItDiffers) {
    ConsoleHarness h;
    h.memorySettings.preset(u"Settings", u"Send To File", u"1");
    h.start();
    EXPECT_FALSE(h.action("AutoClear")->isEnabled()); // only while not sent to a file
    h.form().state().SelectedDataFolder = u"/data/elsewhere";
    h.form().close();
    ASSERT_EQ(h.memorySettings.writes().size(), 1u);
    EXPECT_EQ(h.memorySettings.writes()[0].first.second, u"SelectedDataFolder");
    EXPECT_EQ(h.memorySettings.writes()[0].second, u"/data/elsewhere");
}

} // namespace
