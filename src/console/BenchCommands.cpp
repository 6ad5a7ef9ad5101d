#include "console/BenchCommands.h"

#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/GpibLibrary.h"
#include "console/InterfaceDialog.h"
#include "core/ConsoleState.h"
#include "datafiles/DataFolderChoice.h"
#include "messagelist/EntryBox.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QComboBox>
#include <QWidget>

namespace console {

namespace {
constexpr std::u16string_view kBenchFilter =
    u"Bench Files (*.yaml;*.yml;*.jsonl)|*.yaml;*.yml;*.jsonl|All Files (*.*)|*.*";
} // namespace

std::string benchBackEnd(const std::string& path) {
    return (bus::isRecordedTrace(path) ? "replay:" : "sim:") + path;
}

BenchCommands::BenchCommands(QWidget& window, ConsoleState& state, platform::MessageBoxes& boxes,
                             platform::FileDialogs& fileDialogs, QAction& saveBenchAs,
                             QComboBox& entryBox)
    : window_(window), state_(state), boxes_(boxes), fileDialogs_(fileDialogs),
      saveBenchAs_(saveBenchAs), entryBox_(entryBox) {
    saveBenchAs_.setEnabled(false);
}

void BenchCommands::setSaveBench(SaveBench save) {
    save_ = std::move(save);
    saveBenchAs_.setEnabled(static_cast<bool>(save_));
}

void BenchCommands::BenchFromFile_Click() {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Simulated Bench from File";
    request.folder = state_.SelectedDataFolder;
    request.filter = std::u16string(kBenchFilter);
    const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request);
    if (!choice) {
        messagelist::focusEntryBox(entryBox_);
        return;
    }
    state_.SelectedDataFolder = datafiles::folderOfChoice(choice->path);
    requested_ = benchBackEnd(platform::toQString(choice->path).toLocal8Bit().toStdString());
    // The close asks about a changed list and saves the options as Exit does;
    // the operator may still call it off (restartCalledOff). While the bus
    // works the close waits for the operation's end, and the choice with it.
    window_.close();
}

void BenchCommands::Interface_Click() {
    const bool libraryLoads = static_cast<bool>(bus::GpibLibrary::load().driver);
    const std::optional<std::string> chosen =
        askInterface(&window_, current_, libraryLoads, bus::adapter::serialPorts());
    if (!chosen) {
        messagelist::focusEntryBox(entryBox_);
        return;
    }
    requested_ = *chosen;
    interfaceChosen_ = true;
    window_.close();
}

void BenchCommands::restartCalledOff() {
    if (requested_.empty()) return;
    requested_.clear();
    interfaceChosen_ = false;
    messagelist::focusEntryBox(entryBox_);
}

void BenchCommands::SaveBenchAs_Click() {
    if (!save_) return;
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = u"Save Bench As";
    request.folder = state_.SelectedDataFolder;
    request.fileName = u"Bench";
    request.filter = u"Bench Files (*.yaml)|*.yaml";
    if (const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request)) {
        state_.SelectedDataFolder = datafiles::folderOfChoice(choice->path);
        const std::string error =
            save_(platform::toQString(choice->path).toLocal8Bit().toStdString());
        if (!error.empty()) {
            boxes_.show(u"The bench could not be saved as\n" + choice->path + u"\n(" +
                            QString::fromLocal8Bit(error).toStdU16String() + u").",
                        u"Save Bench As", platform::Buttons::Ok, platform::Icon::Exclamation);
        }
    }
    messagelist::focusEntryBox(entryBox_);
}

} // namespace console
