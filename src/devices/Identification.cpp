#include "devices/Identification.h"

#include "core/Console.h"
#include "exchange/AnswerView.h"
#include "messagelist/EntryBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void Identification::vrID_Click() {
    queryChoiceClicked(console::FlagID);
}
void Identification::vrIDN_Click() {
    queryChoiceClicked(console::FlagIDN);
}

IdAllCommand::IdAllCommand(QWidget& window, core::Console& console, exchange::AnswerView& view,
                           const IdAllControls& controls)
    : window_(window), console_(console), view_(view), controls_(controls) {}

void IdAllCommand::IdAll_Click() {
    const auto operation = console_.beginOperation();
    if (!operation) return;
    view_.autoClearView();
    window_.setCursor(Qt::WaitCursor);

    IdQueries queries;
    queries.id = controls_.vrID->isChecked();
    queries.idn = controls_.vrIDN->isChecked();
    queries.addCR = controls_.vrAddCR->isChecked();
    queries.addLF = controls_.vrAddLF->isChecked();
    console_.IdentifyAll(*operation, queries,
                         [this](const std::u16string& answer) { view_.PrintMessageList(answer); });

    window_.unsetCursor();
    controls_.ReceivedCharacters->setText(QString());
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

} // namespace devices
