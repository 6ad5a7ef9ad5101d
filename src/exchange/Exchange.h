#pragma once

#include "core/Console.h"
#include "exchange/AnswerView.h"

#include <QObject>
#include <QPointer>

#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace console {
struct ConsoleState;
}
namespace syntaxcheck {
class SyntaxChecking;
}

namespace exchange {

class ReceiveToFile;

// The controls the message exchange reads and sets.
struct ExchangeControls {
    QComboBox* SendMessageList = nullptr;
    QPushButton* SendMessage = nullptr;
    QPushButton* DeleteOutgoingMessageEntry = nullptr;
    QPushButton* ClearHistory = nullptr;
    QPushButton* ClearIncoming = nullptr;
    QPushButton* AddressButton0 = nullptr;
    QPlainTextEdit* ReceivedMessages = nullptr;
    QLabel* ReceivedCharacters = nullptr;
    QLabel* SyntaxErrorMessage = nullptr;
    QCheckBox* vrAddCR = nullptr;
    QCheckBox* vrAddLF = nullptr;
    QCheckBox* AllowMultipleCommands = nullptr;
    QCheckBox* vrSelectNextListItem = nullptr;
    QAction* AutoClear = nullptr;
    QAction* SendToFile = nullptr;
    QAction* SendtoFileOnce = nullptr;
    QAction* ClrIncoming = nullptr;
    QAction* LoadStartupMessageList = nullptr;
    QAction* Help = nullptr;
};

// The send cycle, the incoming view and the help text: the operator's
// message goes to the selected device, its answer comes back on top of the
// incoming view led by the device's address.
//
// The view's text lives here, as the characters the console put there (line
// ends, NUL and all), and the view is set from it once per change. Text that
// reaches the view by another way (the operator typing into it, another part
// of the console setting it) is taken back from the view when next needed.
class Exchange : public QObject, public AnswerView {
    Q_OBJECT
public:
    // `window` shows the hourglass while the bus is busy.
    Exchange(QWidget& window, core::Console& console, console::ConsoleState& state,
             ReceiveToFile& toFile, syntaxcheck::SyntaxChecking& syntaxChecking,
             const ExchangeControls& controls);

    void SendMessage_Click();
    // Shows the answer above the older incoming text and its length beside.
    void PrintMessageList(const std::u16string& text) override;
    void autoClearView() override;
    void ClearIncoming_Click();
    void ClrIncoming_Click();
    // The entry is already toggled and its option marked changed when this runs.
    void AutoClear_Click();
    // Returns true when the key was used up.
    bool ReceivedMessages_KeyPress(int qtKey);
    void Help_Click();

    // The answer shown last (or refused as too large), every byte of it,
    // for the commands that show it in other forms.
    const std::u16string& lastAnswer() const { return lastAnswer_; }

    // The incoming view's text.
    const std::u16string& viewText();
    void setViewText(std::u16string text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewEdited();
    void placeOnTop(const std::u16string& block);
    void showHelp();
    void writeMessage(const core::Console::Operation& operation, std::u16string text);
    void recordMessage();
    void closingSteps();
    void hourglass();
    void defaultPointer();
    void enableClear();

    QWidget& window_;
    core::Console& console_;
    console::ConsoleState& state_;
    ReceiveToFile& toFile_;
    syntaxcheck::SyntaxChecking& syntaxChecking_;
    ExchangeControls controls_;
    std::u16string view_;
    std::u16string lastAnswer_;
    bool viewStale_ = false;
    bool settingView_ = false;
};

} // namespace exchange
