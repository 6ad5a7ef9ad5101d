#include "devices/DevicePanel.h"

#include "core/Console.h"
#include "messagelist/EntryBox.h"
#include "syntaxcheck/SyntaxChecking.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QPushButton>

namespace devices {

DevicePanel::DevicePanel(core::Console& console, syntaxcheck::SyntaxChecking& syntaxChecking,
                         const DevicePanelControls& controls)
    : console_(console), syntaxChecking_(syntaxChecking), controls_(controls) {
    for (int k = 0; k < bus::kMaxDevices; ++k)
        controls_.AddressButtonGroup->setId(controls_.AddressButton[static_cast<std::size_t>(k)],
                                            k);
}

void DevicePanel::showDevicesFound() {
    const bus::DeviceTable& table = console_.devices();
    for (int k = 0; k < bus::kMaxDevices; ++k) {
        QPushButton* button = controls_.AddressButton[static_cast<std::size_t>(k)];
        const bool found = k < table.count();
        // A bus without devices leaves no button to press, the first one included.
        button->setEnabled(found);
        if (found) button->setText(QString::number(table.ListenerAddresses[k + 1]));
    }
}

void DevicePanel::selectLoneDevice() {
    if (console_.devices().count() != 1) {
        controls_.History->setEnabled(false);
        return;
    }
    const auto operation = console_.beginOperation();
    if (!operation) return;
    console_.SelectDevice(*operation, 1);
    controls_.SendMessageList->setEnabled(true);
    offerDeviceEntries();
}

void DevicePanel::AddressButton_Click(int index) {
    if (index < 0 || index >= bus::kMaxDevices) return;
    const auto operation = console_.beginOperation();
    if (!operation) {
        // Another exchange holds the bus: the selection stays as it was.
        showSelection();
        return;
    }
    console_.SelectDevice(*operation, index + 1);
    const bus::DeviceTable& table = console_.devices();

    offerDeviceEntries();
    controls_.SendToDevice->setEnabled(true);

    for (int j = 0; j < table.count(); ++j) {
        QPushButton* button = controls_.AddressButton[static_cast<std::size_t>(j)];
        QFont font = button->font();
        font.setBold(j == index);
        button->setFont(font);
    }

    if (!controls_.SendMessageList->isEnabled()) {
        controls_.History->setEnabled(true);
        controls_.SendMessageList->setEnabled(true);
    }
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void DevicePanel::AddressButton_DblClick(int /*index*/) {
    // The click before the double click has already selected this device.
    EnableSyntaxCheck_Click();
}

void DevicePanel::EnableSyntaxCheck_Click() {
    syntaxChecking_.showSyntaxCheckForm();
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void DevicePanel::enableVerdictsTriggered(bool checked) {
    console_.setSelectedVerdicts(checked);
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void DevicePanel::offerDeviceEntries() {
    controls_.EnableSyntaxCheck->setEnabled(true);
    if (QAction* verdicts = controls_.EnableVerdicts) {
        verdicts->setEnabled(true);
        verdicts->setChecked(console_.selectedVerdicts());
    }
}

void DevicePanel::SelectDevice_Click() {
    console_.boxes().show(u"Select a device with the buttons under Device Address.",
                          u"Select Device", platform::Buttons::Ok, platform::Icon::None);
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

void DevicePanel::showSelection() {
    const int selected = console_.devices().SelectedDeviceIndex;
    QButtonGroup* group = controls_.AddressButtonGroup;
    group->setExclusive(false);
    for (int k = 0; k < bus::kMaxDevices; ++k)
        controls_.AddressButton[static_cast<std::size_t>(k)]->setChecked(k + 1 == selected);
    group->setExclusive(true);
}

} // namespace devices
