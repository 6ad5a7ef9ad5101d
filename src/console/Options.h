#pragma once

#include "core/ConsoleState.h"
#include "platform/SettingsStore.h"

#include <QObject>

#include <array>
#include <optional>
#include <string>
#include <string_view>

class QAction;
class QCheckBox;
class QComboBox;

namespace console {

inline constexpr std::u16string_view kSettingsSection = u"Settings";
inline constexpr std::u16string_view kSelectedDataFolderKey = u"SelectedDataFolder";

struct OptionKey {
    std::u16string_view key;
    std::u16string_view defaultValue;
};

// The stored options, indexed by their change flag; loaded in this order.
inline constexpr std::array<OptionKey, kOptionFlagCount> kOptionKeys{{
    {u"ID", u"1"},
    {u"IDN", u"1"},
    {u"Find Matching Commands", u"0"},
    {u"Caps Only", u"1"},
    {u"Allow Multiple Commands", u"0"},
    {u"Add CR", u"0"},
    {u"Add LF", u"0"},
    {u"Select Next ListItem", u"0"},
    {u"Auto Clear", u"0"},
    {u"Send To File", u"0"},
}};

// The number a stored text starts with (after blanks), or nullopt when it
// starts with none.
std::optional<double> leadingNumber(std::u16string_view text);

// A check box option: its number rounded, checked when not 0 (a hand-edited
// 2 or -1 counts as checked). Text without a number, or no text, gives the
// default.
bool checkBoxOption(const std::optional<std::u16string>& stored, std::u16string_view defaultValue);

// A menu entry option: checked when its number is not 0; text without a
// number, or no text, gives the default.
bool menuOption(const std::optional<std::u16string>& stored, std::u16string_view defaultValue);

struct OptionControls {
    QCheckBox* vrID = nullptr;
    QCheckBox* vrIDN = nullptr;
    QCheckBox* CheckListForMatch = nullptr;
    QCheckBox* Caps = nullptr;
    QCheckBox* AllowMultipleCommands = nullptr;
    QCheckBox* vrAddCR = nullptr;
    QCheckBox* vrAddLF = nullptr;
    QCheckBox* vrSelectNextListItem = nullptr;
    QAction* AutoClear = nullptr;
    QAction* SendToFile = nullptr;
    QComboBox* SendMessageList = nullptr;
};

// The operator's options: read once at the first activation, written at
// unload, and then only those the operator changed in this run.
class Options : public QObject {
public:
    Options(ConsoleState& state, platform::SettingsStore& store, const OptionControls& controls);

    // Sets the controls from the store. The check boxes' handlers run as
    // their states change, but mark nothing while Activated is false.
    void load();
    // Writes SelectedDataFolder when it differs from the data folder, and
    // every option whose change flag is set, even if changed back since.
    void save();

    // Click handlers of the option check boxes owned by the console.
    void CheckListForMatch_Click();
    void Caps_Click();
    void AllowMultipleCommands_Click();
    void vrAddCR_Click();
    void vrAddLF_Click();
    void vrSelectNextListItem_Click();

    // The two option menu entries were switched by the operator.
    void AutoClear_Changed();
    void SendToFile_Changed();

private:
    void optionBoxClicked(OptionFlag flag);
    QCheckBox* checkBox(int flag) const;
    std::optional<std::u16string> stored(std::u16string_view key);

    ConsoleState& state_;
    platform::SettingsStore& store_;
    OptionControls controls_;
};

} // namespace console
