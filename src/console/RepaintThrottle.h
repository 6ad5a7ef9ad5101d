#pragma once

#include <QElapsedTimer>
#include <QObject>

class QWidget;

namespace console {

// Paints a window at most once a frame. Every send cycle lets pending events
// run, and each round painted the whole window again: at thousands of cycles
// a second the painting, not the bus, set the pace. A paint asked for within
// a frame of the last one is held back and done once at the frame's end, so
// the window always ends up showing what the console last put there.
class RepaintThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 20;

    explicit RepaintThrottle(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintHeldBack();

    QWidget& window_;
    QElapsedTimer sincePaint_;
    bool held_ = false;
    bool passNext_ = false;
};

} // namespace console
