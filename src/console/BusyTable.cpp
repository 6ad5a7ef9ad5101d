#include "console/BusyTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <array>

namespace console {

namespace {

// The one table: everything else waits for the bus.
constexpr std::array<std::string_view, 8> kUsableWhileBusy = {
    "StopTransfer",     // the transfer strip's Stop
    "ReceivedMessages", // scrolling and copying the incoming view
    "About",            // touches nothing on the bus
    "Command_Exit",     // closing stops the operation first, then closes
    "Quit",
    "HistoryPanel", // showing, searching and copying the history only read it
    "HistoryDevice",
    "HistoryCopy",
};

// The window's own controls, not the parts Qt builds inside its widgets.
bool isCommand(const QObject& control) {
    const QString name = control.objectName();
    if (name.isEmpty() || name.startsWith(QStringLiteral("qt_"))) return false;
    if (const auto* action = qobject_cast<const QAction*>(&control))
        return !action->isSeparator() && action->menu() == nullptr;
    return qobject_cast<const QAbstractButton*>(&control) != nullptr ||
           qobject_cast<const QComboBox*>(&control) != nullptr;
}

bool enabled(const QObject& control) {
    if (const auto* action = qobject_cast<const QAction*>(&control)) return action->isEnabled();
    return static_cast<const QWidget&>(control).isEnabled();
}

void setEnabled(QObject& control, bool on) {
    if (auto* action = qobject_cast<QAction*>(&control))
        action->setEnabled(on);
    else
        static_cast<QWidget&>(control).setEnabled(on);
}

} // namespace

bool usableWhileBusy(std::string_view controlName) {
    return std::find(kUsableWhileBusy.begin(), kUsableWhileBusy.end(), controlName) !=
           kUsableWhileBusy.end();
}

BusyTable::BusyTable(QWidget& window, QShortcut& stopKey)
    : QObject(&window), window_(window), stopKey_(stopKey) {
    stopKey_.setEnabled(false);
}

void BusyTable::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    stopKey_.setEnabled(busy);
    holding_ = true;
    if (busy) {
        focus_ = window_.focusWidget();
        held_.clear();
        QList<QObject*> controls;
        for (QAction* action : window_.findChildren<QAction*>())
            controls.append(action);
        for (QWidget* widget : window_.findChildren<QWidget*>())
            controls.append(widget);
        // The control with the focus goes last: losing it lets events run
        // (the entry box repaints), and they must find every other command
        // held already.
        // (An editable box hands its focus to its line edit.)
        const auto holdsFocus = [this](QObject* control) {
            auto* widget = qobject_cast<QWidget*>(control);
            return widget != nullptr && focus_ != nullptr &&
                   (widget == focus_ || widget->isAncestorOf(focus_));
        };
        std::stable_partition(controls.begin(), controls.end(),
                              [&](QObject* control) { return !holdsFocus(control); });
        for (QObject* control : controls) {
            if (!isCommand(*control) || usableWhileBusy(control->objectName().toStdString()))
                continue;
            Held& held = held_.emplace_back(Held{control, enabled(*control), {}});
            setEnabled(*control, false);
            if (auto* action = qobject_cast<QAction*>(control))
                held.watch = connect(action, &QAction::enabledChanged, this,
                                     [this, action](bool on) { keepHeld(action, on); });
            else
                control->installEventFilter(this);
        }
    } else {
        for (const Held& held : held_) {
            disconnect(held.watch);
            if (!held.control) continue;
            held.control->removeEventFilter(this);
            setEnabled(*held.control, held.wanted);
        }
        held_.clear();
        // Disabling the entry box took the focus away from it.
        if (focus_ && focus_->isEnabled() && window_.focusWidget() != focus_) focus_->setFocus();
        focus_.clear();
    }
    holding_ = false;
}

void BusyTable::keepHeld(QObject* control, bool on) {
    if (holding_ || !busy_ || !on) return;
    for (Held& held : held_) {
        if (held.control != control) continue;
        held.wanted = true;
        holding_ = true;
        setEnabled(*control, false);
        holding_ = false;
    }
}

bool BusyTable::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        keepHeld(watched, static_cast<QWidget*>(watched)->isEnabled());
    return QObject::eventFilter(watched, event);
}

} // namespace console
