#include "exchange/ExchangeFixture.h"

#include "bus/sim/Instrument.h"

#include <QTest>

namespace exchange_testing {

ExchangeConsole::ExchangeConsole(std::unique_ptr<bus::SimulatedBus> bus, int buttonIndex)
    : h(std::move(bus)) {
    h.start().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&h.form()));
    h.form().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&h.form()));
    auto* address =
        h.control<QPushButton>(("AddressButton_" + std::to_string(buttonIndex)).c_str());
    if (!address->isChecked()) QTest::mouseClick(address, Qt::LeftButton);
    check("Caps")->setChecked(false);
    check("CheckListForMatch")->setChecked(false);
    check("vrAddCR")->setChecked(false);
    check("vrAddLF")->setChecked(false);
    check("AllowMultipleCommands")->setChecked(false);
    check("vrSelectNextListItem")->setChecked(false);
    setList({QStringLiteral("<Help>"), QStringLiteral("*IDN?"), QStringLiteral("ID?"),
             QStringLiteral("*RST")});
    box()->setFocus();
    markTrace();
}

void ExchangeConsole::setList(const QStringList& entries) {
    box()->clear();
    box()->addItems(entries);
    box()->setCurrentIndex(-1);
    box()->setEditText(QString());
    h.form().state().MessageListChanged = false;
}

QStringList ExchangeConsole::list() {
    QStringList entries;
    for (int i = 0; i < box()->count(); ++i)
        entries << box()->itemText(i);
    return entries;
}

void ExchangeConsole::type(const QString& text) {
    QTest::keyClicks(editor(), text);
}

void ExchangeConsole::key(Qt::Key key) {
    QTest::keyClick(editor(), key);
}

void ExchangeConsole::send(const QString& text) {
    // The last message stays in the box; the operator types over it.
    editor()->selectAll();
    type(text);
    enter();
}

std::vector<console_testing::TraceCall> ExchangeConsole::traceSinceMark() const {
    std::vector<console_testing::TraceCall> calls = h.trace();
    calls.erase(calls.begin(),
                calls.begin() + static_cast<std::ptrdiff_t>(std::min(mark_, calls.size())));
    return calls;
}

std::vector<QString> ExchangeConsole::writes() const {
    std::vector<QString> messages;
    for (const console_testing::TraceCall& call : traceSinceMark())
        if (call.op == QStringLiteral("ibwrt")) messages.push_back(call.args.at(1).toString());
    return messages;
}

int ExchangeConsole::reads() const {
    int count = 0;
    for (const console_testing::TraceCall& call : traceSinceMark())
        if (call.op == QStringLiteral("ibrd")) ++count;
    return count;
}

exchange::Exchange& ExchangeConsole::exchange() {
    return h.form().exchange();
}

void ExchangeConsole::deviceHolds(int address, const std::string& bytes) {
    h.bus().instrument(address)->queueOutput(bytes);
}

std::u16string line(int address, std::u16string_view text) {
    std::u16string out;
    out += static_cast<char16_t>(u'0' + address / 10);
    out += static_cast<char16_t>(u'0' + address % 10);
    out += u": ";
    out += text;
    out += u"\r\n";
    return out;
}

} // namespace exchange_testing
