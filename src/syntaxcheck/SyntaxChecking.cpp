#include "syntaxcheck/SyntaxChecking.h"

#include "core/Console.h"
#include "syntaxcheck/SyntaxCheckForm.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace syntaxcheck {

SyntaxChecking::SyntaxChecking(QWidget& window, core::Console& console,
                               const SyntaxCheckingControls& controls)
    : window_(window), console_(console), controls_(controls),
      blink_(*controls.Timer1, *controls.SyntaxErrorMessage, this) {}

void SyntaxChecking::showSyntaxCheckForm() {
    const auto operation = console_.beginOperation();
    if (!operation) return;
    SyntaxCheckForm form(window_, console_.devices().SelectedAddress, console_.SelectedMethod(),
                         [&](std::int16_t method) {
                             console_.SetSelectedMethod(*operation, method);
                             showMethod(method);
                         });
    form.exec();
}

void SyntaxChecking::showMethod(std::int16_t method) {
    const int index = console_.devices().SelectedDeviceIndex;
    if (index <= 0 || index > bus::kMaxDevices) return;
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
