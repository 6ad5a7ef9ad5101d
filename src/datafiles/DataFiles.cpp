#include "datafiles/DataFiles.h"

#include "core/ConsoleState.h"
#include "datafiles/DataFolderChoice.h"
#include "messagelist/EntryBox.h"
#include "platform/FileDialogs.h"
#include "platform/Shell.h"
#include "platform/qt/QtText.h"

#include <QComboBox>
#include <QFile>
#include <QWidget>

namespace datafiles {

namespace {

constexpr std::u16string_view kAllDataFiles = u"Data Files (*.dat)|*.dat|All Files (*.*)|*.*";

} // namespace

std::u16string sendToDeviceWarning() {
    return u"NOTE!  For this data transfer to a device the timeout will be set to 100 secs which "
           u"means that\n"
           u"in case of an error in the transfer the computer will appear locked for this amount "
           u"of time.\n\n"
           u"This message will be displayed only once.\n\n"
           u"Do you wish to continue ?";
}

std::u16string sendToDeviceQuestion(std::u16string_view fileName, std::u16string_view address) {
    return u"Are you sure you want to send the content of the file: " + std::u16string(fileName) +
           u"\nto the device at address" + std::u16string(address) + u".";
}

std::u16string sendToDeviceTimeout() {
    return u"This may be due to either the device doesn't accept the data or a transfer longer "
           u"than 100 secs.\n"
           u"In the latter case the data transfer may be incomplete. Try to split the datafile "
           u"into two.\n";
}

DataFiles::DataFiles(QWidget& window, core::Console& console, console::ConsoleState& state,
                     platform::FileDialogs& fileDialogs, platform::Shell& shell,
                     QComboBox& entryBox)
    : window_(window), console_(console), state_(state), fileDialogs_(fileDialogs), shell_(shell),
      entryBox_(entryBox) {}

std::u16string DataFiles::selectedAddressText() {
    const bus::DeviceTable& devices = console_.devices();
    const int address =
        devices.ListenerAddresses[static_cast<std::size_t>(devices.SelectedDeviceIndex)];
    const std::u16string digits = QString::number(address).toStdU16String();
    return address < 0 ? digits : u" " + digits;
}

void DataFiles::SendToDevice_Click() {
    const auto operation = console_.beginOperation();
    if (!operation) return;
    platform::MessageBoxes& boxes = console_.boxes();
    if (!DeviceWarningShown) {
        if (boxes.show(sendToDeviceWarning(), u"Warning", platform::Buttons::YesNo,
                       platform::Icon::Exclamation) != platform::Answer::Yes) {
            messagelist::focusEntryBox(entryBox_);
            return;
        }
        DeviceWarningShown = true;
    }

    const std::u16string address = selectedAddressText();
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Send Data from File to the Device at Address" + address;
    request.folder = state_.SelectedDataFolder;
    request.filter = std::u16string(kAllDataFiles);
    std::optional<platform::FileChoice> choice;
    for (;;) {
        choice = fileDialogs_.choose(request);
        if (!choice) {
            messagelist::focusEntryBox(entryBox_);
            return;
        }
        state_.SelectedDataFolder = folderOfChoice(choice->path);
        if (boxes.show(sendToDeviceQuestion(choice->name, address), u"Send Datafile to Device",
                       platform::Buttons::YesNo, platform::Icon::Question) == platform::Answer::Yes)
            break;
        // Asked again with the file just refused already picked.
        request.fileName = choice->path;
    }

    sendFile(*operation, choice->path);
    messagelist::focusEntryBox(entryBox_);
}

void DataFiles::sendFile(const core::Console::Operation& operation, const std::u16string& path) {
    platform::MessageBoxes& boxes = console_.boxes();
    // A file that cannot be read would otherwise fail in silence, leaving the
    // operator to believe the device got it.
    QFile file(platform::toQString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        boxes.show(u"The file\n" + path + u"\ncannot be read: " +
                       platform::fromQString(file.errorString()) + u".\n\nNothing was sent.",
                   u"Send Datafile to Device", platform::Buttons::Ok, platform::Icon::Exclamation);
        return;
    }
    file.close();

    window_.setCursor(Qt::WaitCursor);

    const bus::TransferOutcome outcome = console_.SendFile(operation, path);
    if (outcome.timedOut()) {
        boxes.show(sendToDeviceTimeout(), u"Timeout Has Occured", platform::Buttons::Ok,
                   platform::Icon::Exclamation);
    } else if (outcome.failed() && outcome.iberr == bus::EFSO) {
        boxes.show(u"The file\n" + path +
                       u"\ncould not be read to its end; the device may have "
                       u"received part of it.",
                   u"Send Datafile to Device", platform::Buttons::Ok, platform::Icon::Exclamation);
    }
    window_.unsetCursor();
}

void DataFiles::DisplayFile_Click() {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Show Data File";
    request.folder = state_.SelectedDataFolder;
    request.filter = std::u16string(kAllDataFiles);
    const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request);
    if (choice) {
        state_.SelectedDataFolder = folderOfChoice(choice->path);
        // The desktop's viewer runs on its own; whether it started is not ours
        // to know.
        shell_.open(choice->path);
    }
    messagelist::focusEntryBox(entryBox_);
}

} // namespace datafiles
