#pragma once

#include "bus/drivers/SimulatedBus.h"
#include "console/ManualForm.h"
#include "platform/DataFolder.h"
#include "support/MemorySettingsStore.h"
#include "support/RecordingShell.h"
#include "support/ScriptedFileDialogs.h"
#include "support/ScriptedMessageBoxes.h"

#include <QJsonArray>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace console_testing {

// One line of the I/O trace.
struct TraceCall {
    QString op;
    QJsonArray args;
};

// A bus with plain IEEE 488.2 listeners at the given addresses.
std::unique_ptr<bus::SimulatedBus> busWithDevicesAt(const std::vector<int>& addresses);

// A real console window on a simulated bus, every desktop seam scripted, every
// driver call written to an I/O trace in a temporary folder.
class ConsoleHarness {
public:
    explicit ConsoleHarness(
        std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench(),
        platform::SettingsStore* settings = nullptr);
    ~ConsoleHarness();

    // Builds the window (not yet loaded).
    console::ManualForm& create(bool simulatedBus = true);
    // Builds and loads it, then runs the first activation as the window
    // system would.
    console::ManualForm& start();

    console::ManualForm& form() { return *form_; }
    bus::SimulatedBus& bus() { return *bus_; }

    template <class T> T* control(const char* name) {
        T* found = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << "no control " << name;
        return found;
    }

    // The driver calls so far, registration calls left out.
    std::vector<TraceCall> trace() const;
    std::vector<QString> traceOps() const;
    std::size_t traceLength() const { return trace().size(); }

    QString dataFolderPath() const;

    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    testing_support::ScriptedFileDialogs fileDialogs;
    testing_support::RecordingShell shell;
    testing_support::MemorySettingsStore memorySettings;
    std::unique_ptr<platform::DataFolder> dataFolder;

private:
    QTemporaryDir dir_;
    std::string tracePath_;
    bus::SimulatedBus* bus_ = nullptr;
    std::unique_ptr<bus::Driver> driver_;
    platform::SettingsStore* settings_;
    std::unique_ptr<console::ManualForm> form_;
};

// The object name of the widget that has the window's focus, or "".
QString focusName(QWidget& window);

} // namespace console_testing
