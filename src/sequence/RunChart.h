#pragma once

#include "core/Sequence.h"
#include "exchange/ChartFiles.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace exchange {
class PlotView;
}
namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace sequence {

// The numbers a run logs, against the seconds since it began, as they come.
// Each message's answers (and each place in a list answer) are a series of
// their own; the box above the chart picks the one shown. Zoom and drag as in
// the plot of an answer; Save PNG and Save CSV save the series shown.
class RunChart : public QWidget {
    Q_OBJECT
public:
    RunChart(platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
             QWidget* parent = nullptr);

    // Run by Esc in this window, as in the main window: ends the run.
    void setStop(std::function<void()> stop) { stop_ = std::move(stop); }
    // Forgets the last run's series.
    void clear();
    // A row with no value (a failed read) draws nothing.
    void add(const core::LogRow& row);

    exchange::PlotView& chart() { return *chart_; }
    QComboBox& seriesBox() { return *series_; }

    void SavePng_Click();
    void SaveCsv_Click();

private:
    struct Series {
        std::string message;
        std::size_t position;
        std::vector<double> xs, values;
    };
    void seriesChosen(int index);
    void pointed(qsizetype index, double value);

    exchange::ChartFiles files_;
    exchange::PlotView* chart_;
    QComboBox* series_;
    QLabel* readout_;
    std::vector<Series> all_;
    std::function<void()> stop_;
};

} // namespace sequence
