#pragma once

#include "console/ConsoleHarness.h"
#include "syntaxcheck/SyntaxCheckForm.h"
#include "syntaxcheck/SyntaxChecking.h"

#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace syntaxcheck_testing {

// The console on a simulated bench, on screen and active, with Caps, the
// completion and the line ends off so what is typed is what goes out.
class BenchConsole {
public:
    explicit BenchConsole(
        std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench());

    QPushButton* address(int k);
    // A mouse click on address button k.
    void select(int k);
    // Opens the method dialog through "Syntax &Check" and runs `inside` while
    // it is open. A dialog that `inside` leaves open is rejected afterwards.
    // Returns false when no dialog came up.
    bool withDialog(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside);
    // Runs `inside` once the method dialog is up, however it was opened;
    // `opened` tells afterwards whether it came up. It must outlive the
    // returned poll, which ends itself once the dialog was handled.
    QPointer<QTimer>
    whenDialogOpens(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside, bool& opened);
    // Selects device k, picks `method` in the dialog and closes it with its button.
    void chooseMethod(int k, std::int16_t method);
    // Types the message into the entry box and presses Enter.
    void send(const QString& text);

    void markTrace() { mark_ = h.traceLength(); }
    std::vector<console_testing::TraceCall> traceSinceMark() const;
    std::vector<QString> opsSinceMark() const;
    // The messages written since the mark.
    std::vector<QString> writesSinceMark() const;

    syntaxcheck::SyntaxChecking& check();
    QLabel* errorLabel();
    QString view();
    // Lets the blink of the label run to its end.
    void waitForBlinkEnd();

    console_testing::ConsoleHarness h;

private:
    std::size_t mark_ = 0;
};

inline const QColor kBlue(0, 0, 255);

// Option `index` (the method plus one) and the Close button of the dialog.
QRadioButton* option(syntaxcheck::SyntaxCheckForm& form, int index);
QPushButton* closeButton(syntaxcheck::SyntaxCheckForm& form);

// The colour of a button's caption.
QColor captionColour(QPushButton* button);
// The system colour for button text.
QColor systemCaptionColour(QPushButton* button);

} // namespace syntaxcheck_testing
