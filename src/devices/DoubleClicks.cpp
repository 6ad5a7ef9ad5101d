#include "devices/DoubleClicks.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMouseEvent>

namespace devices {

DoubleClicks::DoubleClicks(QButtonGroup& group, QObject* parent) : QObject(parent), group_(group) {
    for (QAbstractButton* button : group_.buttons())
        button->installEventFilter(this);
}

bool DoubleClicks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonDblClick) return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->isEnabled() ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    emit doubleClicked(group_.id(button));
    return true;
}

} // namespace devices
