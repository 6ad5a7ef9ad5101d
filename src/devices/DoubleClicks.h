#pragma once

#include <QButtonGroup>
#include <QObject>

namespace devices {

// Turns double clicks on the buttons of a group into one signal with the
// button's id. The double click itself is consumed: its press would otherwise
// click the button a second time.
class DoubleClicks : public QObject {
    Q_OBJECT
public:
    explicit DoubleClicks(QButtonGroup& group, QObject* parent = nullptr);

signals:
    void doubleClicked(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QButtonGroup& group_;
};

} // namespace devices
