#include "console/Options.h"

#include "messagelist/EntryBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace console {

std::optional<double> leadingNumber(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    // Only the characters of a plain decimal number can matter, so the rest
    // of the text need not survive the narrowing.
    std::string ascii;
    for (; i < text.size() && text[i] < 0x80; ++i)
        ascii += static_cast<char>(text[i]);
    double value = 0;
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    const char* mantissa = first;
    if (first != last && *first == '+')
        mantissa = ++first;
    else if (first != last && *first == '-')
        mantissa = first + 1;
    // Digits only: "nan" and "inf" are words, not numbers, to an operator.
    if (mantissa == last ||
        !(std::isdigit(static_cast<unsigned char>(*mantissa)) || *mantissa == '.'))
        return std::nullopt;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc{} || end == first) return std::nullopt;
    return value;
}

namespace {

// A missing (or unreadable) key gives the default; a stored text that does
// not start with a number counts as 0, as it always has.
double numberOr(const std::optional<std::u16string>& stored, std::u16string_view defaultValue) {
    return leadingNumber(stored ? *stored : defaultValue).value_or(0.0);
}

} // namespace

bool checkBoxOption(const std::optional<std::u16string>& stored, std::u16string_view defaultValue) {
    return std::nearbyint(numberOr(stored, defaultValue)) != 0.0;
}

bool menuOption(const std::optional<std::u16string>& stored, std::u16string_view defaultValue) {
    return numberOr(stored, defaultValue) != 0.0;
}

Options::Options(ConsoleState& state, platform::SettingsStore& store,
                 const OptionControls& controls)
    : state_(state), store_(store), controls_(controls) {}

std::optional<std::u16string> Options::stored(std::u16string_view key) {
    return store_.read(kSettingsSection, key);
}

QCheckBox* Options::checkBox(int flag) const {
    switch (flag) {
    case FlagID:
        return controls_.vrID;
    case FlagIDN:
        return controls_.vrIDN;
    case FlagFindMatchingCommands:
        return controls_.CheckListForMatch;
    case FlagCapsOnly:
        return controls_.Caps;
    case FlagAllowMultipleCommands:
        return controls_.AllowMultipleCommands;
    case FlagAddCR:
        return controls_.vrAddCR;
    case FlagAddLF:
        return controls_.vrAddLF;
    case FlagSelectNextListItem:
        return controls_.vrSelectNextListItem;
    default:
        return nullptr;
    }
}

void Options::load() {
    state_.SelectedDataFolder =
        platform::readSetting(store_, kSettingsSection, kSelectedDataFolderKey, state_.DataFolder);

    for (int flag = FlagID; flag <= FlagSelectNextListItem; ++flag) {
        const OptionKey& option = kOptionKeys[static_cast<std::size_t>(flag)];
        checkBox(flag)->setChecked(checkBoxOption(stored(option.key), option.defaultValue));
    }

    const OptionKey& autoClear = kOptionKeys[FlagAutoClear];
    controls_.AutoClear->setChecked(menuOption(stored(autoClear.key), autoClear.defaultValue));

    // Receiving into a file leaves nothing to clear, so the entry goes grey.
    // Off leaves both entries as they are.
    const OptionKey& sendToFile = kOptionKeys[FlagSendToFile];
    if (menuOption(stored(sendToFile.key), sendToFile.defaultValue)) {
        controls_.SendToFile->setChecked(true);
        controls_.AutoClear->setEnabled(false);
    }
}

void Options::save() {
    if (state_.SelectedDataFolder != state_.DataFolder)
        store_.write(kSettingsSection, kSelectedDataFolderKey, state_.SelectedDataFolder);

    for (int flag = 0; flag < kOptionFlagCount; ++flag) {
        if (!state_.SettingsChanged[static_cast<std::size_t>(flag)]) continue;
        bool on = false;
        if (flag == FlagAutoClear)
            on = controls_.AutoClear->isChecked();
        else if (flag == FlagSendToFile)
            on = controls_.SendToFile->isChecked();
        else
            on = checkBox(flag)->isChecked();
        store_.write(kSettingsSection, kOptionKeys[static_cast<std::size_t>(flag)].key,
                     on ? u"1" : u"0");
    }
}

void Options::optionBoxClicked(OptionFlag flag) {
    if (state_.Activated) state_.SettingsChanged[flag] = true;
    // Typing goes on where it was.
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void Options::CheckListForMatch_Click() {
    optionBoxClicked(FlagFindMatchingCommands);
}
void Options::Caps_Click() {
    optionBoxClicked(FlagCapsOnly);
}
void Options::AllowMultipleCommands_Click() {
    optionBoxClicked(FlagAllowMultipleCommands);
}
void Options::vrAddCR_Click() {
    optionBoxClicked(FlagAddCR);
}
void Options::vrAddLF_Click() {
    optionBoxClicked(FlagAddLF);
}
void Options::vrSelectNextListItem_Click() {
    optionBoxClicked(FlagSelectNextListItem);
}

void Options::AutoClear_Changed() {
    state_.SettingsChanged[FlagAutoClear] = true;
}
void Options::SendToFile_Changed() {
    state_.SettingsChanged[FlagSendToFile] = true;
}

} // namespace console
