#pragma once

#include "bus/DeviceTable.h"

#include <QObject>

#include <array>

class QAction;
class QButtonGroup;
class QComboBox;
class QPushButton;

namespace core {
class Console;
}
namespace syntaxcheck {
class SyntaxChecking;
}

namespace devices {

struct DevicePanelControls {
    // Button k stands for device index k + 1; its id in the group is k.
    std::array<QPushButton*, bus::kMaxDevices> AddressButton{};
    QButtonGroup* AddressButtonGroup = nullptr;
    QComboBox* SendMessageList = nullptr;
    // The "&Message Lists" menu.
    QAction* History = nullptr;
    QAction* EnableSyntaxCheck = nullptr;
    // "&Verdict after Each Message": checked while the selected device's
    // messages are judged after they are sent.
    QAction* EnableVerdicts = nullptr;
    QAction* SendToDevice = nullptr;
};

// The address buttons and the "Select &Device", "Syntax &Check" and "&Verdict
// after Each Message" menu entries: how the operator picks the device that
// every later message goes to, and how it is checked.
class DevicePanel : public QObject {
public:
    DevicePanel(core::Console& console, syntaxcheck::SyntaxChecking& syntaxChecking,
                const DevicePanelControls& controls);

    // Start-up: one captioned, enabled button per device found, the rest
    // blank and disabled.
    void showDevicesFound();
    // Start-up: a lone device is selected without a click; with none or
    // several the message list menu waits for the first selection.
    void selectLoneDevice();

    void AddressButton_Click(int index);
    void AddressButton_DblClick(int index);
    void EnableSyntaxCheck_Click();
    // The selected device's verdicts on or off.
    void enableVerdictsTriggered(bool checked);
    void SelectDevice_Click();

private:
    // The checked button shows the selection, also after a refused click.
    void showSelection();
    // The device-dependent menu entries, for a device just selected.
    void offerDeviceEntries();

    core::Console& console_;
    syntaxcheck::SyntaxChecking& syntaxChecking_;
    DevicePanelControls controls_;
};

} // namespace devices
