#pragma once

#include "bus/BusSession.h"
#include "console/ConsoleHooks.h"
#include "console/ConsoleState.h"
#include "console/Options.h"
#include "console/Version.h"
#include "devices/DevicePanel.h"
#include "devices/DoubleClicks.h"
#include "devices/Identification.h"
#include "platform/DataFolder.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class ManualForm;
}

namespace console {

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

// Where the outgoing message list store plugs into the start-up and the close.
// Empty hooks do nothing.
struct MessageListHooks {
    // Fills the outgoing list from a message list file (the start-up list).
    std::function<void(const std::u16string& path)> ReadMessageList;
    // Writes the outgoing list to a message list file (the start-up list,
    // when the operator answers Yes at close).
    std::function<void(const std::u16string& path)> WriteMessageList;
};

// The console's main window. Loading it takes the bus and finds the devices;
// its first activation loads the options; closing it offers to save a changed
// message list and saves the changed options.
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

    bus::BusSession& session() { return session_; }
    ConsoleState& state() { return state_; }
    MessageListHooks& messageListHooks() { return messageListHooks_; }
    ConsoleHooks& hooks() { return hooks_; }
    Ui::ManualForm& ui() { return *ui_; }
    devices::DevicePanel& devicePanel() { return devicePanel_; }
    platform::FileDialogs& CommonDialog01() { return fileDialogs_; }
    platform::Shell& shell() { return shell_; }
    // Blinks the syntax-error label: 200 ms, stopped until a syntax error.
    QTimer& Timer1() { return Timer1_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    static std::unique_ptr<Ui::ManualForm> setUpUi(QMainWindow& window);
    OptionControls optionControls() const;
    devices::DevicePanelControls devicePanelControls() const;
    devices::IdentificationControls identificationControls() const;
    void applyFontFallbacks();
    void prepareDataFolder();
    void wire();
    // Each subsystem wires its own handlers, in its own folder. The objects
    // they create are children of the window, so they go with it; their
    // destructors must not touch the window's members.
    void wireExchange();
    void wireMessageList();
    void wireSyntaxCheck();
    void wireDataFiles();
    void wireAbout();

    std::unique_ptr<Ui::ManualForm> ui_;
    platform::FileDialogs& fileDialogs_;
    platform::Shell& shell_;
    platform::DataFolder& dataFolder_;
    const bool simulatedBus_;
    VersionTexts version_;

    bus::BusSession session_;
    ConsoleState state_;
    MessageListHooks messageListHooks_;
    ConsoleHooks hooks_;

    Options options_;
    devices::DevicePanel devicePanel_;
    devices::Identification identification_;
    devices::DoubleClicks addressDoubleClicks_;
    QTimer Timer1_;

    bool loaded_ = false;
    bool unloaded_ = false;
};

} // namespace console
