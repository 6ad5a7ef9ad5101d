#pragma once

#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "console/ManualForm.h"
#include "exchange/Exchange.h"
#include "platform/DataFolder.h"
#include "platform/qt/QtSettingsStore.h"
#include "support/RecordingShell.h"
#include "support/ScriptedFileDialogs.h"
#include "support/ScriptedMessageBoxes.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace syntaxcheck {
class SyntaxCheckForm;
}

namespace console_testing {

// One line of the I/O trace.
struct TraceCall {
    QString op;
    QJsonArray args;
};

// A bus with plain IEEE 488.2 listeners at the given addresses.
std::unique_ptr<bus::SimulatedBus> busWithDevicesAt(const std::vector<int>& addresses);

// A real console window on a simulated bus, every desktop seam scripted, the
// options in an INI file and every driver call written to an I/O trace, both
// in a temporary folder.
class ConsoleHarness {
    QTemporaryDir dir_;

public:
    explicit ConsoleHarness(
        std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench());
    ~ConsoleHarness();

    // Builds the window (not yet loaded).
    console::ManualForm& create(bool simulatedBus = true);
    // Builds and loads it, then runs the first activation as the window system would.
    console::ManualForm& start();

    console::ManualForm& form() { return *form_; }
    bus::SimulatedBus& bus() { return *bus_; }

    template <class T> T* control(const char* name) {
        T* found = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << "no control " << name;
        return found;
    }
    QComboBox* box() { return control<QComboBox>("SendMessageList"); }
    QPushButton* address(int k) {
        return control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
    }
    QCheckBox* check(const char* name) { return control<QCheckBox>(name); }
    QPlainTextEdit* incoming() { return control<QPlainTextEdit>("ReceivedMessages"); }
    QString focus(); // the object name of the widget with the window's focus, or ""
    std::u16string view() { return form_->exchange().viewText(); }
    QStringList list();

    // Real keys and clicks; send() types over the box's text and presses Enter.
    void send(const QString& text) {
        box()->lineEdit()->selectAll();
        QTest::keyClicks(box()->lineEdit(), text);
        QTest::keyClick(box()->lineEdit(), Qt::Key_Return);
    }
    void select(int k) { QTest::mouseClick(address(k), Qt::LeftButton); }
    // Queues bytes at the device as if it had answered a query.
    void deviceHolds(int at, const std::string& bytes) { bus_->instrument(at)->queueOutput(bytes); }

    // The driver calls so far, registration calls left out; or since the mark.
    std::vector<TraceCall> trace() const;
    void markTrace() { mark_ = trace().size(); }
    std::vector<TraceCall> traceSinceMark() const;
    std::vector<QString> writes() const; // the messages written since the mark
    int reads() const;                   // the reads since the mark

    // Runs `open` (default: "Syntax &Check"), then `inside` once the syntax-check
    // dialog is up; a dialog left open is rejected. False when none came up.
    bool withDialog(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside,
                    const std::function<void()>& open = {});
    // Selects device k and closes the dialog with its button, `method` picked.
    void chooseMethod(int k, std::int16_t method);

    QString dataFolderPath() const;

    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    testing_support::ScriptedFileDialogs fileDialogs;
    testing_support::RecordingShell shell;
    platform::QtSettingsStore settings =
        platform::QtSettingsStore::inFile(dir_.filePath(QStringLiteral("Vireon.ini")));
    std::unique_ptr<platform::DataFolder> dataFolder;

private:
    std::string tracePath_;
    bus::SimulatedBus* bus_ = nullptr;
    std::unique_ptr<bus::Driver> driver_;
    std::unique_ptr<console::ManualForm> form_;
    std::size_t mark_ = 0;
};

// A started console, on screen and active, with the device under address
// button `select` clicked (-1: none); Caps, the completion, the line ends,
// multiple entries and select-next off, so what is typed is what is sent; the
// outgoing list <Help>, *IDN?, ID?, *RST; the trace marked.
class BenchConsole : public ConsoleHarness {
public:
    explicit BenchConsole(
        std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench(), int select = 0);
};

// One answer line of the incoming view: "05: text" CR LF.
std::u16string line(int address, std::u16string_view text);

// The operator's steps in the window of a ConsoleHarness, and what to see
// after them, written as words.

// A file in the data folder.
QString file(ConsoleHarness& h, const QString& name);
bool write(const QString& path, const QByteArray& bytes);
QByteArray read(const QString& path); // "(none)" when it cannot be read
// File dialog request `i` as "Open|title|folder|name|filter", the data
// folder written as "%1".
QString asked(ConsoleHarness& h, std::size_t i);
// Runs the steps, separated by spaces; NAME is a control's object name, F a
// file in the data folder:
//   T:NAME trigger    C:NAME enable and click   +:NAME enable   -:NAME disable
//   L:A,B  list "<Help>",A,B, nothing in the box    I:N select entry N
//   K:TEXT type into the emptied box, "_" for a space   S:TEXT type and click Send
//   k:KEY  press and release KEY in the box   r:KEY release KEY   f:NAME focus
//   B:NAME check   U:NAME uncheck   t:NAME press Tab in NAME   q close the window
//   Q:N    the selected device holds N bytes "a" and a line feed
//   Y, N, Z answer the next box Yes, No, Cancel         P:F pick F in the next file dialog
//   W:F    write "A" and "B" to F      H:F write 32767 empty lines to F
//   D:F    make the folder F           G:F make F the start-up file
//   M      mark the list changed, as an edit does, reload controls on
// and checks:
//   O:NAME.PROPERTY true   X:NAME.PROPERTY false   =:NAME.PROPERTY=TEXT its text, "_" a space
//   E:A,B the entries after "<Help>"
//   V:TEXT the box's text  R:F F holds the default list  F:F F holds "A" and "B"
//   A:F the list's caption is F   c:N the caret at N, nothing selected
//   @:+A,-B the controls' changes from rest (changesFromRest)
//   a:N the selected address is N
void run(ConsoleHarness& h, const char* steps);

} // namespace console_testing
