#include "devices/Identification.h"

#include "bus/DeviceIo.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <algorithm>

namespace devices {

Identification::Identification(console::ConsoleState& state, const IdentificationControls& controls)
    : state_(state), controls_(controls) {}

void Identification::queryChoiceClicked(console::OptionFlag flag) {
    // Without a query to send, asking all devices has nothing to do.
    controls_.IdAll->setEnabled(controls_.vrID->isChecked() || controls_.vrIDN->isChecked());
    if (state_.Activated) state_.SettingsChanged[flag] = true;
    if (controls_.SendMessageList->isEnabled()) controls_.SendMessageList->setFocus();
}

void Identification::vrID_Click() {
    queryChoiceClicked(console::FlagID);
}
void Identification::vrIDN_Click() {
    queryChoiceClicked(console::FlagIDN);
}

namespace {

std::u16string trimSpaces(std::u16string text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    text.erase(text.find_last_not_of(u' ') + 1);
    text.erase(0, first);
    return text;
}

} // namespace

std::u16string IdentificationText(std::u16string answer) {
    answer = trimSpaces(std::move(answer));
    std::erase(answer, u'\n');
    std::erase(answer, u'\r');
    // Line ends that stood between spaces leave those spaces at the ends.
    return trimSpaces(std::move(answer));
}

void IdentifyAll(bus::BusSession& s, const IdQueries& queries,
                 const std::function<void(const std::u16string&)>& print) {
    bus::Binding& b = s.binding;
    bus::DeviceTable& t = s.devices;
    const bool both = queries.id && queries.idn;
    const std::int16_t remembered = t.SelectedAddress;

    std::u16string buffer;
    for (int i = t.count(); i >= 1; --i) {
        buffer.assign(kIdAnswerLength, u' ');
        t.SelectedAddress = t.ListenerAddresses[static_cast<std::size_t>(i)];
        b.ibpad(t.DeviceHandle, t.SelectedAddress);
        // A silent device costs 300 ms per query instead of the standing 3 s.
        b.ibtmo(t.DeviceHandle, bus::T300ms);

        bool answered = false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::u16string query =
                both ? (attempt == 0 ? u"ID?" : u"*IDN?") : (queries.id ? u"ID?" : u"*IDN?");
            if (queries.addCR) query += u'\r';
            if (queries.addLF) query += u'\n';
            // A failed write is reported; the wait and the read still decide.
            bus::WriteChecked(s, t.DeviceHandle, query);
            b.ibwait(t.DeviceHandle, static_cast<std::int16_t>(bus::TIMO | bus::CMPL));
            b.ibrd(t.DeviceHandle, buffer);
            if ((b.ibsta & bus::TIMO) == 0) {
                answered = true;
                break;
            }
            if (!both) break;
        }

        if (print) print(answered ? IdentificationText(buffer) : u"No response");
        b.ibtmo(t.DeviceHandle, t.TimeoutCode);
    }

    t.SelectedAddress = remembered;
    b.ibpad(t.DeviceHandle, t.SelectedAddress);
}

IdAllCommand::IdAllCommand(QWidget& window, bus::BusSession& session, console::ConsoleHooks& hooks,
                           const IdAllControls& controls)
    : QObject(&window), window_(window), session_(session), hooks_(hooks), controls_(controls) {}

void IdAllCommand::IdAll_Click() {
    if (controls_.AutoClear->isChecked() && controls_.AutoClear->isEnabled()) {
        controls_.ReceivedMessages->setPlainText(QString());
        controls_.Help->setEnabled(true);
    }
    window_.setCursor(Qt::WaitCursor);

    IdQueries queries;
    queries.id = controls_.vrID->isChecked();
    queries.idn = controls_.vrIDN->isChecked();
    queries.addCR = controls_.vrAddCR->isChecked();
    queries.addLF = controls_.vrAddLF->isChecked();
    // An empty hook means no incoming view takes part; the bus traffic is the same.
    IdentifyAll(session_, queries, hooks_.PrintMessageList);

    window_.unsetCursor();
    controls_.ReceivedCharacters->setText(QString());
    if (controls_.SendMessageList->isEnabled()) controls_.SendMessageList->setFocus();
}

} // namespace devices
