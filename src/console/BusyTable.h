#pragma once

#include <QObject>
#include <QPointer>

#include <string_view>
#include <vector>

class QShortcut;
class QWidget;

namespace console {

// What the operator may use while the bus works: Stop (and Esc), the
// incoming view (scrolling, copying), About, and closing the window. Every
// other command of the window would touch the bus, the message list files,
// the options or the back end in the middle of the running operation, so it
// is disabled while busy and comes back as it was. A command asked for
// meanwhile is therefore never half-carried-out and never silently dropped.
//
// Menu titles stay usable (opening a menu does nothing); the entries below
// them follow the table.
bool usableWhileBusy(std::string_view controlName);

class BusyTable : public QObject {
    Q_OBJECT
public:
    // Holds the window's named actions, buttons and entry boxes; `stopKey`
    // (Esc) works only while busy.
    BusyTable(QWidget& window, QShortcut& stopKey);

    void setBusy(bool busy);
    bool busy() const { return busy_; }

protected:
    // A held control that something enables while busy (an answer shown
    // during Id All enables Clear) is kept disabled and comes back enabled.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Held {
        QPointer<QObject> control;
        bool wanted;
        QMetaObject::Connection watch; // an action's enabledChanged
    };
    void keepHeld(QObject* control, bool on);

    QWidget& window_;
    QShortcut& stopKey_;
    std::vector<Held> held_;
    QPointer<QWidget> focus_;
    bool busy_ = false;
    bool holding_ = false;
};

} // namespace console
