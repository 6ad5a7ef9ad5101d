#include "devices/Identification.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

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

} // namespace devices
