#pragma once

#include "core/Console.h"

#include <QObject>

#include <string>
#include <string_view>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTemporaryFile;
class QWidget;

namespace console {
struct ConsoleState;
}
namespace platform {
class FileDialogs;
}
namespace syntaxcheck {
class SyntaxChecking;
}

namespace exchange {

struct ReceiveToFileControls {
    QComboBox* SendMessageList = nullptr;
    QAction* SendtoFileOnce = nullptr;
    QAction* SendToFile = nullptr;
    QAction* AutoClear = nullptr;
    QLabel* ReceivedCharacters = nullptr;
    QPushButton* ClearIncoming = nullptr;
    QAction* ClrIncoming = nullptr;
};

// Answers received straight into a data file: the two File menu modes (once,
// all the time) and the transfer that takes the place of a query's write and
// read while either is on.
class ReceiveToFile : public QObject {
    Q_OBJECT
public:
    // `window` shows the hourglass while the answer comes in.
    ReceiveToFile(QWidget& window, core::Console& console, console::ConsoleState& state,
                  platform::FileDialogs& fileDialogs, syntaxcheck::SyntaxChecking& syntaxChecking,
                  const ReceiveToFileControls& controls);

    // Switch a mode over, as a click on its menu entry does; the send cycle
    // also uses the first to end the once mode.
    void SendtoFileOnce_Click();
    void SendToFile_Click();
    // The menu entries after Qt has already switched their check mark.
    void SendtoFileOnce_Triggered(bool checked);
    void SendToFile_Triggered(bool checked);

    // Writes the message as it is (no line ends) and receives the device's
    // answer into a file the operator picks. True when the transfer completed,
    // false when it was abandoned (warning refused, dialog cancelled, file not
    // writable).
    bool transfer(const core::Console::Operation& operation, const std::u16string& outgoing);

    bool warningShown() const { return WarningShown; }

private:
    void setOnceMode(bool on);
    void setAllTheTimeMode(bool on);
    // Reads the answer under the long time-out into `part`, which then takes
    // the chosen file's place.
    void receive(const core::Console::Operation& operation, QTemporaryFile& part,
                 const std::u16string& path);

    QWidget& window_;
    core::Console& console_;
    console::ConsoleState& state_;
    platform::FileDialogs& fileDialogs_;
    syntaxcheck::SyntaxChecking& syntaxChecking_;
    ReceiveToFileControls controls_;
    // The operator has been warned of the long time-out in this run.
    bool WarningShown = false;
};

std::u16string receiveToFileWarning();
std::u16string receiveToFileTimeout();

} // namespace exchange
