#pragma once

#include "bus/BusSession.h"
#include "syntaxcheck/SyntaxCheck.h"
#include "syntaxcheck/SyntaxErrorBlink.h"

#include <QObject>

#include <array>
#include <cstdint>

class QPushButton;
class QTimer;
class QWidget;

namespace syntaxcheck {

struct SyntaxCheckingControls {
    // The syntax-error label and the timer that blinks it.
    QWidget* SyntaxErrorMessage = nullptr;
    QTimer* Timer1 = nullptr;
    // Button k stands for device index k + 1; its caption turns blue while
    // that device has a method.
    std::array<QPushButton*, bus::kMaxDevices> AddressButton{};
};

// The syntax check of a window: the method of each device, the check around
// each message, the blinking label and the dialog that picks a method.
class SyntaxChecking : public QObject {
    Q_OBJECT
public:
    SyntaxChecking(QWidget& window, bus::BusSession& session,
                   const SyntaxCheckingControls& controls);

    // True when the selected device has a method.
    bool SyntaxMethodSet() const;
    // Before a message goes to the selected device.
    void PreWriteClearing();
    // After a message went to the device: a rejected message sets ErrorFlag
    // (so no answer is read) and blinks the label.
    void CheckSyntax(std::int16_t Dev);
    void ShowSyntaxErrorMessage() { blink_.ShowSyntaxErrorMessage(); }

    // Shows the method dialog for the selected device, modally.
    void showSyntaxCheckForm();
    // The choice of the dialog's Close button, for the selected device.
    void applyMethod(std::int16_t method);

    const DeviceSyntaxMethodTable& DeviceSyntaxMethod() const { return methods_; }
    SyntaxErrorBlink& blink() { return blink_; }

private:
    std::int16_t selectedMethod() const;

    QWidget& window_;
    bus::BusSession& session_;
    SyntaxCheckingControls controls_;
    DeviceSyntaxMethodTable methods_{};
    SyntaxErrorBlink blink_;
};

} // namespace syntaxcheck
