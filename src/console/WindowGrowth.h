#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace console {

// The width a control needs to show its whole caption in its font and
// style, or 0 for a control without one (an empty label is filled in later
// and is not a caption).
int captionWidth(const QWidget& widget);

// The window's client area as designed, fitted to the fonts it is shown in
// and grown with the window.
//
// Captions were placed for a font that is rarely installed; where one does
// not fit its control in the font shown, the control widens and the controls
// after it on the same row move right only as far as they must, keeping
// their gaps. At the designed size, with captions that fit, every control
// stays exactly where it was designed.
//
// When the window is larger than designed, the incoming view takes the extra
// room; controls tied to a frame's right or bottom edge keep their distance
// to it. The layout is made again after every resize and font change.
class WindowGrowth : public QObject {
public:
    enum Follow : unsigned {
        Stay = 0,
        MoveRight = 1,
        MoveDown = 2,
        Wider = 4,
        Taller = 8,
    };

    // `area`'s minimum size is the designed size; its children's geometry
    // now is their designed geometry.
    explicit WindowGrowth(QWidget& area);

    // How `widget` follows when the area grows; others stay.
    void follow(QWidget* widget, unsigned how);
    // Lays the area out for its size and fonts now.
    void layOut();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QWidget* widget;
        QRect designed;
        unsigned follow = Stay;
    };

    void fitCaptions();

    QWidget& area_;
    QSize designedSize_;
    std::vector<Placed> placed_;
    bool layOutQueued_ = false;
};

} // namespace console
