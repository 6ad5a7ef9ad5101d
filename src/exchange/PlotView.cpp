#include "exchange/PlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace exchange {

namespace {

constexpr double kLeft = 64, kRight = 36, kTop = 10, kBottom = 26;
// However far the chart is zoomed, rounding never makes more lines than this.
constexpr int kMaxTicks = 12;
// The widest view: this many times what shows everything, on either axis.
constexpr double kMaxZoomOut = 4;
// The narrowest value range, as a share of what shows everything: well above
// the doubles' resolution, so neighbouring pixels still differ in value.
constexpr double kMaxValueZoomIn = 1e-9;

// Keeps [low, high] no wider than maxSpan and no narrower than minSpan, and
// inside [lowest, highest] (which is wider than maxSpan).
void keepRange(double& low, double& high, double minSpan, double maxSpan, double lowest,
               double highest) {
    double span = high - low;
    double middle = low + span / 2;
    if (!std::isfinite(middle)) middle = (lowest + highest) / 2;
    if (!(span <= maxSpan)) span = maxSpan;
    if (!(span >= minSpan)) span = minSpan;
    middle = std::clamp(middle, lowest + span / 2, highest - span / 2);
    low = middle - span / 2;
    high = middle + span / 2;
}

QString tickText(double value) {
    return QString::number(value, 'g', 6);
}

// About five round steps (1, 2 or 5 times a power of ten) across a span.
double tickStep(double span) {
    const double raw = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

// Calls `mark(value, label)` for each round value from `low` to `high`, at
// most kMaxTicks of them; a value that is zero but for rounding reads "0".
template <class Mark> void forEachTick(double low, double high, Mark mark) {
    const double step = tickStep(high - low);
    for (int k = 0; k < kMaxTicks; ++k) {
        const double value = (std::ceil(low / step) + k) * step;
        if (!(value <= high)) break;
        mark(value, tickText(std::abs(value) < step / 2 ? 0 : value));
    }
}

} // namespace

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 200);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void PlotView::setValues(std::vector<double> values) {
    values_ = std::move(values);
    xs_.clear();
    resetView();
}

void PlotView::setPoints(std::vector<double> xs, std::vector<double> values) {
    xs.resize(values.size(), xs.empty() ? 0 : xs.back());
    xs_ = std::move(xs);
    values_ = std::move(values);
    resetView();
}

void PlotView::appendPoint(double x, double value) {
    if (xs_.empty() && !values_.empty()) return; // an index chart has no x to add at
    xs_.push_back(xs_.empty() ? x : std::max(x, xs_.back()));
    values_.push_back(value);
    // The scale takes in the one new value: a long run costs no more per point.
    takeInScale(value);
    if (showsAll_)
        showAll();
    else
        update();
}

double PlotView::xAt(std::size_t i) const {
    return xs_.empty() ? static_cast<double>(i) : xs_[i];
}

double PlotView::lastAtOrBefore(double x) const {
    if (xs_.empty()) return std::floor(x);
    return static_cast<double>(std::upper_bound(xs_.begin(), xs_.end(), x) - xs_.begin()) - 1;
}

double PlotView::firstAtOrAfter(double x) const {
    if (xs_.empty()) return std::ceil(x);
    return static_cast<double>(std::lower_bound(xs_.begin(), xs_.end(), x) - xs_.begin());
}

void PlotView::resetView() {
    // Values too large to draw (an overflow reading) do not set the scale.
    any_ = false;
    for (const double v : values_)
        takeInScale(v);
    showAll();
}

void PlotView::takeInScale(double v) {
    if (!std::isfinite(v) || std::abs(v) > std::numeric_limits<double>::max() / 64) return;
    low_ = any_ ? std::min(low_, v) : v;
    high_ = any_ ? std::max(high_, v) : v;
    any_ = true;
}

void PlotView::showAll() {
    pointed_ = -1;
    showsAll_ = true;
    x0_ = 0;
    x1_ = std::max<double>(1, static_cast<double>(values_.size()) - 1);
    if (!xs_.empty()) {
        x0_ = xs_.front();
        // A single point, or points at one time, get a second either side.
        x1_ = xs_.back() > x0_ ? xs_.back() : x0_ + 1;
        if (xs_.back() <= xs_.front()) x0_ -= 1;
    }
    const double low = any_ ? low_ : 0, high = any_ ? high_ : 0;
    // A flat record gets a margin of one, or more where one is lost in rounding.
    const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 1e-9);
    fullY0_ = y0_ = low - margin;
    fullY1_ = y1_ = high + margin;
    update();
}

void PlotView::keepWithinData() {
    showsAll_ = false;
    if (xs_.empty()) {
        // Never closer than a few points across the whole width.
        const double count = std::max(4.0, static_cast<double>(values_.size()));
        keepRange(x0_, x1_, 4, kMaxZoomOut * count, -kMaxZoomOut * count,
                  (kMaxZoomOut + 1) * count);
    } else {
        const double first = xs_.front();
        const double span = std::max(xs_.back() - first, 1.0);
        keepRange(x0_, x1_, span * kMaxValueZoomIn, kMaxZoomOut * span, first - kMaxZoomOut * span,
                  first + (kMaxZoomOut + 1) * span);
    }
    const double fullSpan = fullY1_ - fullY0_;
    keepRange(y0_, y1_, fullSpan * kMaxValueZoomIn, kMaxZoomOut * fullSpan,
              fullY0_ - kMaxZoomOut * fullSpan, fullY1_ + kMaxZoomOut * fullSpan);
}

void PlotView::zoomIndex(double index, double factor) {
    x0_ = index - (index - x0_) * factor;
    x1_ = index + (x1_ - index) * factor;
    keepWithinData();
    update();
}

QRectF PlotView::plotArea() const {
    return QRectF(kLeft, kTop, std::max(1.0, width() - kLeft - kRight),
                  std::max(1.0, height() - kTop - kBottom));
}

double PlotView::indexAt(double x) const {
    const QRectF area = plotArea();
    return x0_ + (x - area.left()) / area.width() * (x1_ - x0_);
}

double PlotView::valueAt(double y) const {
    const QRectF area = plotArea();
    return y1_ - (y - area.top()) / area.height() * (y1_ - y0_);
}

void PlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area = plotArea();
    const auto xOf = [&](double index) {
        return area.left() + (index - x0_) / (x1_ - x0_) * area.width();
    };
    const auto yOf = [&](double value) {
        return area.top() + (y1_ - value) / (y1_ - y0_) * area.height();
    };

    const QPen grid(palette().color(QPalette::Mid), 0, Qt::DotLine);
    const QPen text(palette().color(QPalette::Text));
    const auto mark = [&](const QLineF& line, const QRectF& label, int align, const QString& t) {
        painter.setPen(grid);
        painter.drawLine(line);
        painter.setPen(text);
        painter.drawText(label, align, t);
    };
    forEachTick(x0_, x1_, [&](double index, const QString& label) {
        const double x = xOf(index);
        mark(QLineF(x, area.top(), x, area.bottom()),
             QRectF(x - 40, area.bottom() + 4, 80, kBottom - 4), Qt::AlignHCenter, label);
    });
    forEachTick(y0_, y1_, [&](double value, const QString& label) {
        const double y = yOf(value);
        mark(QLineF(area.left(), y, area.right(), y), QRectF(0, y - 10, kLeft - 6, 20),
             Qt::AlignRight | Qt::AlignVCenter, label);
    });
    painter.setPen(palette().color(QPalette::Text));
    painter.drawRect(area);
    if (values_.empty()) return;

    painter.setClipRect(area);
    if (pointed_ >= 0 && static_cast<std::size_t>(pointed_) < values_.size()) {
        const QPointF at(xOf(xAt(static_cast<std::size_t>(pointed_))),
                         yOf(values_[static_cast<std::size_t>(pointed_)]));
        painter.setPen(QPen(QColor(200, 60, 0), 0, Qt::DashLine));
        painter.drawLine(QPointF(at.x(), area.top()), QPointF(at.x(), area.bottom()));
        painter.drawEllipse(at, 3, 3);
    }
    painter.setPen(QPen(QColor(0, 90, 200), 0));
    const auto last = static_cast<double>(values_.size() - 1);
    const double first = std::clamp(lastAtOrBefore(x0_), 0.0, last);
    const double end = std::clamp(firstAtOrAfter(x1_), 0.0, last);
    const double perPixel = (xs_.empty() ? x1_ - x0_ : end - first) / area.width();
    if (perPixel <= 2) {
        QPainterPath path;
        for (double i = first; i <= end; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const QPointF point(xOf(xAt(k)), yOf(values_[k]));
            if (i == first)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        painter.drawPath(path);
        if (values_.size() == 1) painter.drawEllipse(QPointF(xOf(xAt(0)), yOf(values_[0])), 2, 2);
        return;
    }
    // One vertical stroke per pixel column, from its lowest value to its highest.
    for (int column = 0; column < static_cast<int>(area.width()); ++column) {
        const double from = std::max(first, lastAtOrBefore(indexAt(area.left() + column)));
        const double to = std::min(end, lastAtOrBefore(indexAt(area.left() + column + 1)));
        if (from > to) continue;
        const auto begin = values_.begin() + static_cast<std::ptrdiff_t>(from);
        const auto stop = values_.begin() + static_cast<std::ptrdiff_t>(to) + 1;
        const auto [low, high] = std::minmax_element(begin, stop);
        const double x = area.left() + column + 0.5;
        painter.drawLine(QPointF(x, yOf(*low)), QPointF(x, yOf(*high)));
    }
}

void PlotView::wheelEvent(QWheelEvent* event) {
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const QPointF at = event->position();
    if (event->modifiers() & Qt::ShiftModifier) {
        const double value = valueAt(at.y());
        y0_ = value - (value - y0_) * factor;
        y1_ = value + (y1_ - value) * factor;
        keepWithinData();
        update();
    } else {
        zoomIndex(indexAt(at.x()), factor);
    }
    event->accept();
}

void PlotView::mousePressEvent(QMouseEvent* event) {
    dragFrom_ = event->position();
    dragX0_ = x0_;
    dragY0_ = y0_;
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->buttons() & Qt::LeftButton) {
        const QRectF area = plotArea();
        const double dx = (at.x() - dragFrom_.x()) / area.width() * (x1_ - x0_);
        const double dy = (at.y() - dragFrom_.y()) / area.height() * (y1_ - y0_);
        const double spanX = x1_ - x0_, spanY = y1_ - y0_;
        x0_ = dragX0_ - dx;
        x1_ = x0_ + spanX;
        y0_ = dragY0_ + dy;
        y1_ = y0_ + spanY;
        keepWithinData();
        update();
    }
    if (values_.empty()) return;
    const double x = indexAt(at.x());
    const double lastIndex = static_cast<double>(values_.size() - 1);
    double nearest = std::round(x);
    if (!xs_.empty()) {
        // The nearer of the points either side of the pointer.
        const double after = std::clamp(firstAtOrAfter(x), 0.0, lastIndex);
        const double before = std::clamp(after - 1, 0.0, lastIndex);
        nearest =
            x - xAt(static_cast<std::size_t>(before)) < xAt(static_cast<std::size_t>(after)) - x
                ? before
                : after;
    }
    const auto index = static_cast<qsizetype>(std::clamp(nearest, 0.0, lastIndex));
    pointed_ = index;
    update();
    emit pointed(index, values_[static_cast<std::size_t>(index)]);
}

void PlotView::mouseDoubleClickEvent(QMouseEvent*) {
    resetView();
}

} // namespace exchange
