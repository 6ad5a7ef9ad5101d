#pragma once

#include "core/Console.h"

#include <QObject>

#include <cstdint>
#include <string>
#include <string_view>

class QComboBox;
class QWidget;

namespace console {
struct ConsoleState;
}
namespace platform {
class FileDialogs;
class Shell;
} // namespace platform

namespace datafiles {

// The File menu's data-file commands: a data file sent to the selected device
// as it is, and a data file opened with the desktop's program for it.
class DataFiles : public QObject {
    Q_OBJECT
public:
    // `window` shows the hourglass during a transfer; the focus goes back
    // to `entryBox` after each command.
    DataFiles(QWidget& window, core::Console& console, console::ConsoleState& state,
              platform::FileDialogs& fileDialogs, platform::Shell& shell, QComboBox& entryBox);

    void SendToDevice_Click();
    void DisplayFile_Click();

private:
    // The selected device's address as the texts show it: a leading space in
    // the place of the sign.
    std::u16string selectedAddressText();
    // The transfer under the long time-out, standing time-out restored.
    void sendFile(const core::Console::Operation& operation, const std::u16string& path);

    QWidget& window_;
    core::Console& console_;
    console::ConsoleState& state_;
    platform::FileDialogs& fileDialogs_;
    platform::Shell& shell_;
    QComboBox& entryBox_;
    // The operator has been warned of the long time-out in this run.
    bool DeviceWarningShown = false;
};

// The warning before the first transfer of a run, the question before each
// transfer, and the report of a transfer that ran out of time.
std::u16string sendToDeviceWarning();
std::u16string sendToDeviceQuestion(std::u16string_view fileName, std::u16string_view address);
std::u16string sendToDeviceTimeout();

} // namespace datafiles
