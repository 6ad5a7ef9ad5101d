#pragma once

#include <QWidget>

#include <vector>

namespace exchange {

// A chart of one series of values against their index, drawn with QPainter:
// the wheel zooms the index axis around the pointer (with Shift the value
// axis), dragging pans, a double click shows everything again. Where the
// values outnumber the pixels each column shows their smallest and largest,
// so no peak is lost however long the record.
class PlotView : public QWidget {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent = nullptr);

    void setValues(std::vector<double> values);
    const std::vector<double>& values() const { return values_; }
    // The values against an x of their own (seconds since a run began), in
    // rising order, one per value; the chart then works on that axis as it
    // does on the index.
    void setPoints(std::vector<double> xs, std::vector<double> values);
    // Adds a point at the right: a chart showing everything goes on showing
    // everything, one the operator zoomed or dragged stays where it is.
    void appendPoint(double x, double value);
    // Empty when the values are against their index.
    const std::vector<double>& xs() const { return xs_; }
    // Shows every value.
    void resetView();
    // The index range shown.
    double firstShown() const { return x0_; }
    double lastShown() const { return x1_; }
    // The value range shown.
    double lowestShown() const { return y0_; }
    double highestShown() const { return y1_; }
    // Zooms the index (or x) axis by `factor` (below 1 zooms in) around `index`.
    void zoomIndex(double index, double factor);

signals:
    // The value under the pointer: its index and the value.
    void pointed(qsizetype index, double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRectF plotArea() const;
    double indexAt(double x) const;
    double valueAt(double y) const;
    // Keeps both ranges within a few times the data, however far the
    // operator zooms or drags: past that the doubles run out (to infinity,
    // then NaN) and the drawing and the readout with them.
    void keepWithinData();
    // Widens the value scale to take in v, and shows everything.
    void takeInScale(double v);
    void showAll();
    // A value's place on the axis, and the points at or around an x.
    double xAt(std::size_t i) const;
    double lastAtOrBefore(double x) const;
    double firstAtOrAfter(double x) const;

    std::vector<double> values_;
    std::vector<double> xs_;         // empty: against the index
    double x0_ = 0, x1_ = 1;         // index range shown
    double y0_ = 0, y1_ = 1;         // value range shown
    double fullY0_ = 0, fullY1_ = 1; // the value range that shows everything
    qsizetype pointed_ = -1;         // the value under the pointer, marked
    bool showsAll_ = true;           // as resetView() left it
    double low_ = 0, high_ = 0;      // the values that set the scale
    bool any_ = false;
    QPointF dragFrom_;
    double dragX0_ = 0, dragY0_ = 0;
};

} // namespace exchange
