#include "console/ConsoleHarness.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace console_testing;

// One option through a real INI file: what is stored sets the control; the
// operator's click is written back, and only that key. Every control starts
// unticked, so only a row that ticks one shows its option is read at all.
struct OptionCase {
    const char* key;
    const char* control;
    std::optional<std::u16string> stored;
    bool checked;
};

class OptionsFile : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionsFile, SetsTheControlAndKeepsTheOperatorsChoice) {
    const OptionCase& c = GetParam();
    const std::u16string key = QString::fromLatin1(c.key).toStdU16String();
    ConsoleHarness h;
    if (c.stored) {
        ASSERT_TRUE(h.settings.write(u"Settings", key, *c.stored));
    }
    h.start();
    EXPECT_EQ(h.control<QObject>(c.control)->property("checked").toBool(), c.checked);
    const bool box = h.form().findChild<QCheckBox*>(QLatin1String(c.control));
    run(h, ((box ? "C:" : "T:") + std::string(c.control) + " q").c_str());
    EXPECT_EQ(h.settings.read(u"Settings", key), c.checked ? u"0" : u"1");
    // Nothing else is written, the data folder left as it was neither.
    const QSettings ini(h.settings.fileName(), QSettings::IniFormat);
    EXPECT_EQ(ini.allKeys(), QStringList{"Settings/" + QString::fromStdU16String(key)});
}

INSTANTIATE_TEST_SUITE_P(
    Console, OptionsFile,
    testing::Values(OptionCase{"ID", "vrID", std::nullopt, true},
                    // Check boxes round the number, menu entries (Auto Clear) do not.
                    OptionCase{"IDN", "vrIDN", u"0.4", false},
                    OptionCase{"Find Matching Commands", "CheckListForMatch", u"1", true},
                    OptionCase{"Caps Only", "Caps", u"garbage", false},
                    OptionCase{"Allow Multiple Commands", "AllowMultipleCommands", u"2", true},
                    OptionCase{"Add CR", "vrAddCR", u" 1", true},
                    OptionCase{"Add LF", "vrAddLF", u"1junk", true},
                    OptionCase{"Select Next ListItem", "vrSelectNextListItem", u"0.6", true},
                    OptionCase{"Auto Clear", "AutoClear", u"0.4", true},
                    OptionCase{"Send To File", "SendToFile", std::nullopt, false}),
    [](const testing::TestParamInfo<OptionCase>& info) {
        return QString::fromLatin1(info.param.control).toStdString();
    });

// Which options are written is OptionsFile's: only the one clicked, and not
// the data folder while it stays.
TEST(Options, TheDataFolderIsWrittenOnlyWhenItDiffers) {
    ConsoleHarness h;
    h.settings.write(u"Settings", u"Send To File", u"1");
    h.start();
    run(h, "X:AutoClear.enabled"); // only while not sent to a file
    h.form().state().SelectedDataFolder = u"/data/elsewhere";
    h.form().close();
    EXPECT_EQ(h.settings.read(u"Settings", u"SelectedDataFolder"), u"/data/elsewhere");
}

} // namespace
