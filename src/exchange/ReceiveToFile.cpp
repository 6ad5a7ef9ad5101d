#include "exchange/ReceiveToFile.h"

#include "core/ConsoleState.h"
#include "datafiles/DataFolderChoice.h"
#include "messagelist/EntryBox.h"
#include "platform/FileDialogs.h"
#include "platform/qt/QtText.h"
#include "syntaxcheck/SyntaxChecking.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryFile>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <system_error>

namespace exchange {

std::u16string receiveToFileWarning() {
    return u"NOTE!  For incoming data transfer to a file the timeout will be set to 100 secs "
           u"which means that\n"
           u"in case of a syntax error in the query the computer will appear locked for this "
           u"amount of time.\n"
           u"You may prevent this by enabling the Syntax Check feature. Also be aware of that the "
           u"incoming\n"
           u"data will not be displayed in the Incoming Data list.\n\n"
           u"This message will be displayed only once.\n\n"
           u"Do you wish to continue ?";
}

std::u16string receiveToFileTimeout() {
    return u"This may be due to either a syntax error or a transfer longer than 100 secs. In the "
           u"latter case the\n"
           u"data transfer may be incomplete and there is probably remaining data in the "
           u"device's output buffer.\n"
           u"To clear, uncheck \"Send Received Data to File\" and send a single questionmark (?).";
}

ReceiveToFile::ReceiveToFile(QWidget& window, core::Console& console, console::ConsoleState& state,
                             platform::FileDialogs& fileDialogs,
                             syntaxcheck::SyntaxChecking& syntaxChecking,
                             const ReceiveToFileControls& controls)
    : window_(window), console_(console), state_(state), fileDialogs_(fileDialogs),
      syntaxChecking_(syntaxChecking), controls_(controls) {}

void ReceiveToFile::setOnceMode(bool on) {
    const ReceiveToFileControls& ui = controls_;
    ui.SendtoFileOnce->setChecked(on);
    if (on) ui.SendToFile->setChecked(false);
    // A view that receives nothing has nothing to clear.
    ui.AutoClear->setEnabled(!on);
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void ReceiveToFile::setAllTheTimeMode(bool on) {
    const ReceiveToFileControls& ui = controls_;
    ui.SendToFile->setChecked(on);
    if (on) ui.SendtoFileOnce->setChecked(false);
    ui.AutoClear->setEnabled(!on);
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void ReceiveToFile::SendtoFileOnce_Click() {
    setOnceMode(!controls_.SendtoFileOnce->isChecked());
}

void ReceiveToFile::SendToFile_Click() {
    // Its change flag is the options' business: they mark it on every click.
    setAllTheTimeMode(!controls_.SendToFile->isChecked());
}

void ReceiveToFile::SendtoFileOnce_Triggered(bool checked) {
    setOnceMode(checked);
}

void ReceiveToFile::SendToFile_Triggered(bool checked) {
    setAllTheTimeMode(checked);
}

bool ReceiveToFile::transfer(const core::Console::Operation& operation,
                             const std::u16string& outgoing) {
    platform::MessageBoxes& boxes = console_.boxes();
    if (!WarningShown) {
        if (boxes.show(receiveToFileWarning(), u"Warning", platform::Buttons::YesNo,
                       platform::Icon::Exclamation) != platform::Answer::Yes)
            return false;
        WarningShown = true;
    }

    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = u"Save Incoming Message to File";
    request.folder = state_.SelectedDataFolder;
    request.fileName = u"Data";
    request.filter = u"Data Files (*.dat)|*.dat";
    const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request);
    if (!choice) return false;
    state_.SelectedDataFolder = datafiles::folderOfChoice(choice->path);

    // The answer lands beside the chosen file and replaces it only once it
    // has been received, so a failed transfer leaves an older file whole. A
    // folder that takes no file is found out before the device is asked.
    const QString target = QDir::fromNativeSeparators(platform::toQString(choice->path));
    const QFileInfo info(target);
    QTemporaryFile part(info.absolutePath() + QLatin1Char('/') + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!part.open()) {
        boxes.show(u"The received data cannot be written to the file\n" + choice->path + u"\n(" +
                       platform::fromQString(part.errorString()) +
                       u").\n\nNothing was sent to the device.",
                   u"Receive Data to File", platform::Buttons::Ok, platform::Icon::Exclamation);
        return false;
    }
    part.close();

    if (console_.WriteMessage(operation, outgoing)) syntaxChecking_.ShowSyntaxErrorMessage();
    if (!console_.session().ErrorFlag) receive(operation, part, choice->path);
    return true;
}

void ReceiveToFile::receive(const core::Console::Operation& operation, QTemporaryFile& part,
                            const std::u16string& path) {
    platform::MessageBoxes& boxes = console_.boxes();
    const QString target = QDir::fromNativeSeparators(platform::toQString(path));
    const QString partName = part.fileName();

    window_.setCursor(Qt::WaitCursor);

    const bus::TransferOutcome outcome =
        console_.ReceiveFile(operation, platform::fromQString(QDir::toNativeSeparators(partName)));
    // Asked before any box waits for the operator.
    console_.judge(operation);
    const std::int32_t received = outcome.count;

    bool keep = true;
    if (outcome.timedOut()) {
        // What arrived before the time-out is the operator's to look at; with
        // nothing arrived, an older file stays.
        keep = received > 0 || !QFileInfo::exists(target);
        boxes.show(receiveToFileTimeout(), u"Timeout Has Occured", platform::Buttons::Ok,
                   platform::Icon::Exclamation);
    } else if (outcome.failed()) {
        keep = false;
        boxes.show(u"The device's answer could not be received into the file\n" + path +
                       (outcome.iberr == bus::EFSO
                            ? std::u16string(u"\n(the file system refused it).")
                            : u"\n(GPIB error " + QString::number(outcome.iberr).toStdU16String() +
                                  u").") +
                       u"\n\nThe file was left as it was.",
                   u"Receive Data to File", platform::Buttons::Ok, platform::Icon::Exclamation);
    }
    if (keep) {
        std::error_code failed;
        std::filesystem::rename(std::filesystem::path(partName.toStdU16String()),
                                std::filesystem::path(target.toStdU16String()), failed);
        // Received data is never thrown away: if it cannot take the chosen
        // name, it stays under its own.
        part.setAutoRemove(false);
        if (failed) {
            boxes.show(u"The received data could not be saved as\n" + path + u"\n(" +
                           QString::fromStdString(failed.message()).toStdU16String() +
                           u").\n\nIt was kept in\n" +
                           platform::fromQString(QDir::toNativeSeparators(partName)),
                       u"Receive Data to File", platform::Buttons::Ok, platform::Icon::Exclamation);
        }
    }

    const ReceiveToFileControls& ui = controls_;
    ui.ReceivedCharacters->setText(QString::number(received) + QLatin1Char(' '));
    if (!ui.ClearIncoming->isEnabled()) {
        ui.ClearIncoming->setEnabled(true);
        ui.ClrIncoming->setEnabled(true);
    }
    window_.unsetCursor();
}

} // namespace exchange
