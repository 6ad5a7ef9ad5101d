#pragma once

#include <QObject>

#include <cstdint>

class QTimer;
class QWidget;

namespace syntaxcheck {

// Blinks the "Syntax Error" label on the window's timer: seven ticks that
// turn it shown, hidden, ... shown, after which the timer stops and the label
// stays on screen.
class SyntaxErrorBlink : public QObject {
public:
    SyntaxErrorBlink(QTimer& timer, QWidget& label, QObject* parent = nullptr);

    // Starts the blink. A blink under way goes on from where it stands
    // instead of starting over.
    void ShowSyntaxErrorMessage();
    // One step of the blink.
    void Timer1_Timer();

    std::int16_t BlinkCount() const { return BlinkCount_; }

    static constexpr std::int16_t kTicks = 7;

private:
    QTimer& timer_;
    QWidget& label_;
    std::int16_t BlinkCount_ = 0;
};

} // namespace syntaxcheck
