#pragma once

#include "about/AboutCommand.h"
#include "console/BenchCommands.h"
#include "console/BusyTable.h"
#include "console/Options.h"
#include "console/TransferProgress.h"
#include "core/Console.h"
#include "core/ConsoleState.h"
#include "core/Version.h"
#include "datafiles/DataFiles.h"
#include "devices/DevicePanel.h"
#include "devices/DoubleClicks.h"
#include "devices/Identification.h"
#include "exchange/AnswerCommands.h"
#include "exchange/Exchange.h"
#include "exchange/ReceiveToFile.h"
#include "messagelist/EntryBox.h"
#include "messagelist/MessageList.h"
#include "platform/DataFolder.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "sequence/RunListCommand.h"
#include "syntaxcheck/SyntaxChecking.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <string>

class QDockWidget;
class QShortcut;

namespace Ui {
class ManualForm;
}

namespace console {

class HistoryPanel;

// The bus and the desktop a console runs on. The caller owns them; they
// outlive the window.
struct ConsoleSeams {
    bus::Driver& driver;
    // True on the simulated bench; the caption then says so.
    bool simulatedBus = false;
    platform::MessageBoxes& boxes;
    platform::ProgramExit& exit;
    platform::FileDialogs& fileDialogs;
    platform::Shell& shell;
    platform::SettingsStore& settings;
    platform::DataFolder& dataFolder;
};

// The console's main window. Loading it takes the bus and finds the devices;
// its first activation loads the options; closing it offers to save a changed
// message list, saves the changed options and hands the bus back.
//
// The window owns the console object and one object per subsystem, each
// given only the controls and collaborators it uses; wire() connects the
// controls to their handlers in one place.
class ManualForm : public QMainWindow {
    Q_OBJECT
public:
    explicit ManualForm(const ConsoleSeams& seams, QWidget* parent = nullptr);
    ~ManualForm() override;

    // Start-up, before the window is shown. A terminating bus error ends the
    // program through the ProgramExit seam and does not return.
    void Form_Load();
    // Only the first activation after the load does anything.
    void Form_Activate();
    // Sets cancel when the operator calls the close off.
    void Form_QueryUnload(bool& cancel);
    void Form_Unload();

    void Command_Exit_Click();
    void Quit_Click();

    // The build's date and version, for anyone who asks the window.
    std::u16string VerVR() const { return u"2024-12-28 - v2.0"; }
    const VersionTexts& version() const { return version_; }

    core::Console& console() { return console_; }
    const core::History& history() const { return history_; }
    HistoryPanel& historyPanel() { return *historyPanel_; }
    QDockWidget& historyDock() { return *historyDock_; }
    bus::BusSession& session() { return console_.session(); }
    ConsoleState& state() { return state_; }
    devices::DevicePanel& devicePanel() { return devicePanel_; }
    exchange::Exchange& exchange() { return exchange_; }
    exchange::ReceiveToFile& receiveToFile() { return receiveToFile_; }
    exchange::AnswerCommands& answerCommands() { return answerCommands_; }
    syntaxcheck::SyntaxChecking& syntaxChecking() { return syntaxChecking_; }
    messagelist::MessageList& messageList() { return messageList_; }
    BenchCommands& benchCommands() { return benchCommands_; }
    sequence::RunListCommand& runList() { return runList_; }
    // Blinks the syntax-error label: 200 ms, stopped until a syntax error.
    QTimer& Timer1() { return Timer1_; }
    TransferProgress& transferProgress() { return *transferProgress_; }

    // Esc or the Stop button: ends the running transfer at its next chunk.
    void StopTransfer_Click();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    static std::unique_ptr<Ui::ManualForm> setUpUi(QMainWindow& window);
    OptionControls optionControls() const;
    devices::DevicePanelControls devicePanelControls() const;
    devices::IdentificationControls identificationControls() const;
    syntaxcheck::SyntaxCheckingControls syntaxCheckingControls();
    exchange::ReceiveToFileControls receiveToFileControls() const;
    exchange::ExchangeControls exchangeControls() const;
    messagelist::EntryBoxControls entryBoxControls() const;
    devices::IdAllControls idAllControls() const;
    messagelist::MessageListControls messageListControls() const;
    void applyFontFallbacks();
    void growWithTheWindow();
    void prepareDataFolder();
    void keepExchange(const core::ExchangeRecord& record);
    void addHistoryPanel();
    // A message from the history goes out again through the send cycle.
    void sendAgain(const std::string& sent);
    void wire();
    // While the bus works: lets the window's events run and, once a transfer
    // takes long, shows how far it got.
    void whileBusWorks();
    void operationEnded();

    std::unique_ptr<Ui::ManualForm> ui_;
    platform::FileDialogs& fileDialogs_;
    platform::Shell& shell_;
    platform::DataFolder& dataFolder_;
    const bool simulatedBus_;
    VersionTexts version_;

    core::Console console_;
    // Every exchange of this run and earlier ones, kept beside the start-up list.
    core::History history_;
    bool historyFailureShown_ = false;
    HistoryPanel* historyPanel_ = nullptr;
    QDockWidget* historyDock_ = nullptr;
    // The panel opens by itself once, the first time the window is made
    // taller, unless the operator opened it first.
    bool historyOffered_ = false;
    ConsoleState state_;
    QTimer Timer1_;

    // The subsystems; each lives as long as the window's controls.
    Options options_;
    syntaxcheck::SyntaxChecking syntaxChecking_;
    devices::DevicePanel devicePanel_;
    devices::Identification identification_;
    devices::DoubleClicks addressDoubleClicks_;
    exchange::ReceiveToFile receiveToFile_;
    exchange::Exchange exchange_;
    exchange::AnswerCommands answerCommands_;
    messagelist::EntryBox entryBox_;
    devices::IdAllCommand idAll_;
    datafiles::DataFiles dataFiles_;
    messagelist::MessageList messageList_;
    about::AboutCommand about_;
    BenchCommands benchCommands_;
    sequence::RunListCommand runList_;

    TransferProgress* transferProgress_;
    QShortcut* escape_ = nullptr;
    BusyTable* busyTable_ = nullptr;
    bool loaded_ = false;
    bool unloaded_ = false;
    // The operator closed the window during a transfer: it closes once the
    // stopped transfer has ended.
    bool closeWhenIdle_ = false;
};

} // namespace console
