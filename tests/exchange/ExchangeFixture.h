#pragma once

#include "console/ConsoleHarness.h"
#include "exchange/Exchange.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace exchange_testing {

// The console on a simulated bench, on screen and active, with the device
// at `address` selected and the outgoing list set to `entries`. Caps, the
// completion and the line ends are off, so what is typed is what is sent.
class ExchangeConsole {
public:
    explicit ExchangeConsole(
        std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench(),
        int buttonIndex = 0);

    void setList(const QStringList& entries);
    QStringList list();

    // Real keys into the entry box's editor.
    void type(const QString& text);
    void key(Qt::Key key);
    void enter() { key(Qt::Key_Return); }
    // Types the message over the box's text and sends it with Enter.
    void send(const QString& text);

    // What the console wrote to the bus, one message per write, since the
    // last call of markTrace().
    std::vector<QString> writes() const;
    int reads() const;
    void markTrace() { mark_ = h.traceLength(); }
    std::vector<console_testing::TraceCall> traceSinceMark() const;

    console::ManualForm& form() { return h.form(); }
    exchange::Exchange& exchange();
    std::u16string view() { return exchange().viewText(); }
    QString caption() { return label("ReceivedCharacters")->text(); }
    QString focus() { return console_testing::focusName(h.form()); }

    QComboBox* box() { return h.control<QComboBox>("SendMessageList"); }
    QLineEdit* editor() { return box()->lineEdit(); }
    QPushButton* button(const char* name) { return h.control<QPushButton>(name); }
    QCheckBox* check(const char* name) { return h.control<QCheckBox>(name); }
    QAction* action(const char* name) { return h.control<QAction>(name); }
    QLabel* label(const char* name) { return h.control<QLabel>(name); }
    QPlainTextEdit* incoming() { return h.control<QPlainTextEdit>("ReceivedMessages"); }
    // Queues bytes at the device as if it had answered a query.
    void deviceHolds(int address, const std::string& bytes);

    console_testing::ConsoleHarness h;

private:
    std::size_t mark_ = 0;
};

// A block of the incoming view as the console lays it out.
std::u16string line(int address, std::u16string_view text);

} // namespace exchange_testing
