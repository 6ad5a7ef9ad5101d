#include "syntaxcheck/SyntaxErrorBlink.h"

#include <QTimer>
#include <QWidget>

namespace syntaxcheck {

SyntaxErrorBlink::SyntaxErrorBlink(QTimer& timer, QWidget& label, QObject* parent)
    : QObject(parent), timer_(timer), label_(label) {}

void SyntaxErrorBlink::ShowSyntaxErrorMessage() {
    // Restarting a running timer would stretch the tick under way.
    if (!timer_.isActive()) timer_.start();
}

void SyntaxErrorBlink::Timer1_Timer() {
    ++BlinkCount_;
    label_.setVisible(label_.isHidden());
    if (BlinkCount_ < kTicks) return;
    BlinkCount_ = 0;
    timer_.stop();
    // Whatever the label showed when the blink began, it ends on screen.
    label_.setVisible(true);
}

} // namespace syntaxcheck
