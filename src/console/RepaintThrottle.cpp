#include "console/RepaintThrottle.h"

#include <QCoreApplication>

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace console {

RepaintThrottle::RepaintThrottle(QWidget& window) : QObject(&window), window_(window) {
    window_.installEventFilter(this);
}

bool RepaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_ || event->type() != QEvent::UpdateRequest) return false;
    if (passNext_ || !sincePaint_.isValid() || sincePaint_.elapsed() >= kFrameMs) {
        passNext_ = false;
        sincePaint_.restart();
        return false;
    }
    if (!held_) {
        held_ = true;
        const int wait = kFrameMs - static_cast<int>(sincePaint_.elapsed());
        QTimer::singleShot(std::max(wait, 0), this, &RepaintThrottle::paintHeldBack);
    }
    // The window keeps its request open until one is delivered, so it asks
    // for no other paint meanwhile: the held-back one covers them all.
    return true;
}

void RepaintThrottle::paintHeldBack() {
    held_ = false;
    passNext_ = true;
    QCoreApplication::postEvent(&window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

} // namespace console
