#include "devices/DevicePanel.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QPushButton>

namespace devices {

DevicePanel::DevicePanel(bus::BusSession& session, const DevicePanelControls& controls)
    : session_(session), controls_(controls) {
    for (int k = 0; k < bus::kMaxDevices; ++k)
        controls_.AddressButtonGroup->setId(controls_.AddressButton[static_cast<std::size_t>(k)],
                                            k);
}

void DevicePanel::showDevicesFound() {
    const bus::DeviceTable& table = session_.devices;
    for (int k = 0; k < bus::kMaxDevices; ++k) {
        QPushButton* button = controls_.AddressButton[static_cast<std::size_t>(k)];
        const bool found = k < table.count();
        // A bus without devices leaves no button to press, the first one included.
        button->setEnabled(found);
        if (found) button->setText(QString::number(table.ListenerAddresses[k + 1]));
    }
}

void DevicePanel::selectLoneDevice() {
    bus::DeviceTable& table = session_.devices;
    if (table.count() != 1) {
        controls_.History->setEnabled(false);
        return;
    }
    table.SelectedDeviceIndex = 1;
    table.SelectedAddress = table.ListenerAddresses[1];
    session_.binding.ibpad(table.DeviceHandle, table.SelectedAddress);
    controls_.SendMessageList->setEnabled(true);
    controls_.EnableSyntaxCheck->setEnabled(true);
}

void DevicePanel::AddressButton_Click(int index) {
    if (index < 0 || index >= bus::kMaxDevices) return;
    bus::DeviceTable& table = session_.devices;
    table.SelectedDeviceIndex = static_cast<std::int16_t>(index + 1);
    table.SelectedAddress = table.ListenerAddresses[index + 1];
    // A wrong address shows up at the next write, which reports it.
    session_.binding.ibpad(table.DeviceHandle, table.SelectedAddress);

    controls_.EnableSyntaxCheck->setEnabled(true);
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
    controls_.SendMessageList->setFocus();
}

void DevicePanel::AddressButton_DblClick(int /*index*/) {
    // The click before the double click has already selected this device.
    EnableSyntaxCheck_Click();
}

void DevicePanel::EnableSyntaxCheck_Click() {
    if (showSyntaxCheckDialog) showSyntaxCheckDialog();
    focusEntryBox();
}

void DevicePanel::SelectDevice_Click() {
    session_.boxes.show(u"Select a device with the buttons under Device Address.", u"Select Device",
                        platform::Buttons::Ok, platform::Icon::None);
    focusEntryBox();
}

void DevicePanel::focusEntryBox() {
    if (controls_.SendMessageList->isEnabled()) controls_.SendMessageList->setFocus();
}

} // namespace devices
