#include "syntaxcheck/SyntaxChecking.h"

#include "syntaxcheck/SyntaxCheckForm.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace syntaxcheck {

SyntaxChecking::SyntaxChecking(QWidget& window, bus::BusSession& session,
                               const SyntaxCheckingControls& controls)
    : QObject(&window), window_(window), session_(session), controls_(controls),
      blink_(*controls.Timer1, *controls.SyntaxErrorMessage, this) {}

std::int16_t SyntaxChecking::selectedMethod() const {
    return SelectedMethod(methods_, session_.devices);
}

bool SyntaxChecking::SyntaxMethodSet() const {
    return selectedMethod() != kNoMethod;
}

void SyntaxChecking::PreWriteClearing() {
    const std::int16_t method = selectedMethod();
    if (method != kNoMethod) syntaxcheck::PreWriteClearing(session_, method);
}

void SyntaxChecking::CheckSyntax(std::int16_t Dev) {
    if (!syntaxcheck::CheckSyntax(session_, Dev, selectedMethod())) return;
    ShowSyntaxErrorMessage();
    session_.ErrorFlag = true;
}

void SyntaxChecking::showSyntaxCheckForm() {
    const bus::DeviceTable& devices = session_.devices;
    SyntaxCheckForm form(window_, devices.SelectedAddress, selectedMethod(),
                         [this](std::int16_t method) { applyMethod(method); });
    form.exec();
}

void SyntaxChecking::applyMethod(std::int16_t method) {
    const int index = session_.devices.SelectedDeviceIndex;
    if (method == kStatusRegistersMethod) SetUpStatusRegisters(session_);
    if (index <= 0 || index > bus::kMaxDevices) return;
    methods_[static_cast<std::size_t>(index)] = method;

    QPushButton* button = controls_.AddressButton[static_cast<std::size_t>(index - 1)];
    if (button == nullptr) return;
    // Only the text colour changes: the bold of the selection is the font's.
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText,
                     method != kNoMethod
                         ? QColor(0, 0, 255)
                         : QApplication::palette(button).color(QPalette::ButtonText));
    button->setPalette(palette);
}

} // namespace syntaxcheck
