#pragma once

#include "bus/DeviceTable.h"
#include "syntaxcheck/SyntaxErrorBlink.h"

#include <QObject>

#include <array>
#include <cstdint>

class QPushButton;
class QTimer;
class QWidget;

namespace core {
class Console;
}

namespace syntaxcheck {

struct SyntaxCheckingControls {
    // The syntax-error label and the timer that blinks it.
    QWidget* SyntaxErrorMessage = nullptr;
    QTimer* Timer1 = nullptr;
    // Button k stands for device index k + 1; its caption turns blue while
    // that device has a method.
    std::array<QPushButton*, bus::kMaxDevices> AddressButton{};
};

// The window's side of the syntax check: the blinking label that says a
// message was rejected, and the dialog that picks a device's method.
class SyntaxChecking : public QObject {
    Q_OBJECT
public:
    SyntaxChecking(QWidget& window, core::Console& console, const SyntaxCheckingControls& controls);

    void ShowSyntaxErrorMessage() { blink_.ShowSyntaxErrorMessage(); }

    // Shows the method dialog for the selected device, modally; refused
    // while another bus operation runs.
    void showSyntaxCheckForm();

    SyntaxErrorBlink& blink() { return blink_; }

private:
    // The choice of the dialog's Close button, for the selected device.
    void showMethod(std::int16_t method);

    QWidget& window_;
    core::Console& console_;
    SyntaxCheckingControls controls_;
    SyntaxErrorBlink blink_;
};

} // namespace syntaxcheck
