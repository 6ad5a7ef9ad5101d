#include "datafiles/DataFiles.h"

#include "console/ManualForm.h"
#include "datafiles/DataFolderChoice.h"
#include "platform/qt/QtText.h"

#include "ui_ManualForm.h"

#include <QCoreApplication>
#include <QFile>

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

DataFiles::DataFiles(console::ManualForm& form) : QObject(&form), form_(form) {}

std::u16string DataFiles::selectedAddressText() {
    const bus::DeviceTable& devices = form_.session().devices;
    const int address =
        devices.ListenerAddresses[static_cast<std::size_t>(devices.SelectedDeviceIndex)];
    const std::u16string digits = QString::number(address).toStdU16String();
    return address < 0 ? digits : u" " + digits;
}

void DataFiles::focusEntryBox() {
    if (form_.ui().SendMessageList->isEnabled()) form_.ui().SendMessageList->setFocus();
}

void DataFiles::SendToDevice_Click() {
    platform::MessageBoxes& boxes = form_.session().boxes;
    if (!DeviceWarningShown) {
        if (boxes.show(sendToDeviceWarning(), u"Warning", platform::Buttons::YesNo,
                       platform::Icon::Exclamation) != platform::Answer::Yes) {
            focusEntryBox();
            return;
        }
        DeviceWarningShown = true;
    }

    const std::u16string address = selectedAddressText();
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Send Data from File to the Device at Address" + address;
    request.folder = form_.state().SelectedDataFolder;
    request.filter = std::u16string(kAllDataFiles);
    std::optional<platform::FileChoice> choice;
    for (;;) {
        choice = form_.CommonDialog01().choose(request);
        if (!choice) {
            focusEntryBox();
            return;
        }
        form_.state().SelectedDataFolder = folderOfChoice(choice->path);
        if (boxes.show(sendToDeviceQuestion(choice->name, address), u"Send Datafile to Device",
                       platform::Buttons::YesNo, platform::Icon::Question) == platform::Answer::Yes)
            break;
        // Asked again with the file just refused already picked.
        request.fileName = choice->path;
    }

    sendFile(choice->path);
    focusEntryBox();
}

void DataFiles::sendFile(const std::u16string& path) {
    platform::MessageBoxes& boxes = form_.session().boxes;
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

    form_.setCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();

    bus::Binding& binding = form_.session().binding;
    const std::int16_t ud = form_.session().devices.DeviceHandle;
    const std::int16_t standing = binding.ibask(ud, bus::IbaTMO);
    binding.ibtmo(ud, bus::T100s);
    binding.ibwait(ud, static_cast<std::int16_t>(bus::TIMO | bus::CMPL));
    binding.ibwrtf(ud, path);
    if (binding.ibsta & bus::TIMO) {
        boxes.show(sendToDeviceTimeout(), u"Timeout Has Occured", platform::Buttons::Ok,
                   platform::Icon::Exclamation);
    } else if ((binding.ibsta & bus::ERR) && binding.iberr == bus::EFSO) {
        boxes.show(u"The file\n" + path +
                       u"\ncould not be read to its end; the device may have "
                       u"received part of it.",
                   u"Send Datafile to Device", platform::Buttons::Ok, platform::Icon::Exclamation);
    }
    binding.ibtmo(ud, standing);
    form_.unsetCursor();
}

void DataFiles::DisplayFile_Click() {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Show Data File";
    request.folder = form_.state().SelectedDataFolder;
    request.filter = std::u16string(kAllDataFiles);
    const std::optional<platform::FileChoice> choice = form_.CommonDialog01().choose(request);
    if (choice) {
        form_.state().SelectedDataFolder = folderOfChoice(choice->path);
        // The desktop's viewer runs on its own; whether it started is not ours
        // to know.
        form_.shell().open(choice->path);
    }
    focusEntryBox();
}

} // namespace datafiles
