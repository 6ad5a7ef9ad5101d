#pragma once

#include "exchange/AnswerData.h"
#include "exchange/ChartFiles.h"

#include <QAbstractScrollArea>
#include <QWidget>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace exchange {

class PlotView;

// The last answer as a chart: a list of numbers as it is, a binary block as
// samples of the format picked here. Saves the chart as PNG and the values
// as CSV.
class PlotWindow : public QWidget {
    Q_OBJECT
public:
    PlotWindow(platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
               QWidget* parent = nullptr);

    void showNumbers(std::vector<double> values);
    // The data bytes of a block, read with the format picked.
    void showBlock(std::string data);

    PlotView& chart() { return *chart_; }
    QComboBox& sampleFormat() { return *format_; }

    void SavePng_Click();
    void SaveCsv_Click();

private:
    void formatChosen();
    void pointed(qsizetype index, double value);
    void plot(std::vector<double> values);

    ChartFiles files_;
    PlotView* chart_;
    QComboBox* format_;
    QLabel* readout_;
    std::string block_;
};

// Every byte of the last answer, 16 to a line; only the lines in sight are
// made, so an answer of any size scrolls at once.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    void setBytes(std::string bytes);
    qsizetype lineCount() const { return (static_cast<qsizetype>(bytes_.size()) + 15) / 16; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateScrollBar();

    std::string bytes_;
};

} // namespace exchange
