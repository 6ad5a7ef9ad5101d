#pragma once

// The operator's pointer on a plot view, sent as the window system sends it.
#include "exchange/PlotView.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>

namespace plot_testing {

inline void wheel(exchange::PlotView& view, int delta, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(QPointF(200, 150), view.mapToGlobal(QPointF(200, 150)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &event);
}

inline void drag(exchange::PlotView& view, QPointF from, QPointF to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, view.mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &press);
    QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
}

// The point the readout names with the pointer over the middle of a 400 x 300
// view; -1 for none.
inline qsizetype pointedAtMiddle(exchange::PlotView& view) {
    qsizetype pointed = -1;
    const auto connection = QObject::connect(&view, &exchange::PlotView::pointed,
                                             [&](qsizetype index, double) { pointed = index; });
    QMouseEvent hover(QEvent::MouseMove, QPointF(200, 150), view.mapToGlobal(QPointF(200, 150)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &hover);
    QObject::disconnect(connection);
    return pointed;
}

} // namespace plot_testing
