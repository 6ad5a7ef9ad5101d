#pragma once

#include <QObject>

#include <functional>
#include <string>

class QAction;
class QComboBox;
class QWidget;

namespace console {
struct ConsoleState;
}
namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace console {

// The File menu's bench commands: run the console on a simulated bench from
// a file (a pyvisa-sim definition or a recorded run), and save the bench of a
// recorded run as a definition file to edit by hand.
class BenchCommands : public QObject {
    Q_OBJECT
public:
    // Saves the bench to a path: the error, or "" when saved.
    using SaveBench = std::function<std::string(const std::string& path)>;

    BenchCommands(QWidget& window, ConsoleState& state, platform::MessageBoxes& boxes,
                  platform::FileDialogs& fileDialogs, QAction& saveBenchAs, QComboBox& entryBox);

    // The bench the console runs on can be saved; without it the command is off.
    void setSaveBench(SaveBench save);

    // Closes the window, as Exit does, so the console can start again on the
    // chosen file's bench.
    void BenchFromFile_Click();
    void SaveBenchAs_Click();
    // Asks for the interface to run on (the simulated bench, the GPIB
    // library, an adapter) and closes the window to start again on it.
    void Interface_Click();

    // The operator called off the close that was to start the console again.
    void restartCalledOff();

    // The back end the console runs on now ("sim", "prologix:COM3").
    void setCurrentBackEnd(std::string backEnd) { current_ = std::move(backEnd); }
    // The requested back end came from the Interface dialog, to be
    // remembered once it runs.
    bool interfaceChosen() const { return interfaceChosen_; }

    // The back end the console is to start again on ("sim:FILE.yaml",
    // "replay:TRACE.jsonl"), or "" for none.
    const std::string& requestedBackEnd() const { return requested_; }

private:
    QWidget& window_;
    ConsoleState& state_;
    platform::MessageBoxes& boxes_;
    platform::FileDialogs& fileDialogs_;
    QAction& saveBenchAs_;
    QComboBox& entryBox_;
    SaveBench save_;
    std::string requested_;
    std::string current_;
    bool interfaceChosen_ = false;
};

// The back end that runs a bench file: "replay:" for a recorded run (.jsonl),
// "sim:" for anything else.
std::string benchBackEnd(const std::string& path);

} // namespace console
