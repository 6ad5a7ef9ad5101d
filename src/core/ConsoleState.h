#pragma once

#include <array>
#include <string>

namespace console {

// Change flags of the options, in the order they are saved.
enum OptionFlag : int {
    FlagID,
    FlagIDN,
    FlagFindMatchingCommands,
    FlagCapsOnly,
    FlagAllowMultipleCommands,
    FlagAddCR,
    FlagAddLF,
    FlagSelectNextListItem,
    FlagAutoClear,
    FlagSendToFile,
    kOptionFlagCount
};

// The console's own fields: owned by the window, handed by reference to the
// handlers of every subsystem that reads or sets them.
struct ConsoleState {
    // The per-user data folder and the start-up message list in it.
    std::u16string DataFolder;
    std::u16string StartUpFile;
    // False when the data folder could not be created; the start-up list is
    // then neither read nor expected.
    bool DataFolderUsable = false;

    // Set by the first activation, after the options were loaded; from then
    // on the option controls mark their changes.
    bool Activated = false;
    std::array<bool, kOptionFlagCount> SettingsChanged{};
    // The folder the data-file dialogs start in.
    std::u16string SelectedDataFolder;

    // The outgoing message list differs from what was loaded or saved.
    bool MessageListChanged = false;
};

} // namespace console
