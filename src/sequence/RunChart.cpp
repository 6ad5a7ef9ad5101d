#include "sequence/RunChart.h"

#include "exchange/PlotView.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/qt/QtText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <charconv>

namespace sequence {

namespace {

std::string shortest(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

} // namespace

RunChart::RunChart(platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
                   QWidget* parent)
    : QWidget(parent, Qt::Window), files_(fileDialogs, boxes, u"Run List"),
      chart_(new exchange::PlotView(this)), series_(new QComboBox(this)),
      readout_(new QLabel(this)) {
    setObjectName(QStringLiteral("RunChart"));
    setWindowTitle(QStringLiteral("Run List"));
    // Shown as a run starts, it leaves the focus (and Esc) with the main window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // No command of the busy table's: it only stops, as Esc in the main window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (stop_) stop_();
    });
    chart_->setObjectName(QStringLiteral("RunChartView"));
    series_->setObjectName(QStringLiteral("RunChartSeries"));
    series_->setToolTip(QStringLiteral("The message whose numbers are shown"));
    series_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    readout_->setObjectName(QStringLiteral("RunChartReadout"));
    const exchange::SaveButtons save = exchange::layOutChartWindow(
        *this, *series_, *chart_, *readout_, QStringLiteral("RunChart"));

    connect(series_, &QComboBox::currentIndexChanged, this, &RunChart::seriesChosen);
    connect(save.png, &QPushButton::clicked, this, &RunChart::SavePng_Click);
    connect(save.csv, &QPushButton::clicked, this, &RunChart::SaveCsv_Click);
    connect(chart_, &exchange::PlotView::pointed, this, &RunChart::pointed);
}

void RunChart::clear() {
    all_.clear();
    series_->clear();
    readout_->clear();
    chart_->setPoints({}, {});
}

void RunChart::add(const core::LogRow& row) {
    if (!row.value) return;
    std::size_t k = 0;
    while (k < all_.size() && (all_[k].message != row.message || all_[k].position != row.position))
        ++k;
    if (k == all_.size()) {
        all_.push_back({row.message, row.position, {}, {}});
        QString name = QString::fromStdString(row.message);
        if (row.position > 0) name += QStringLiteral(" [%1]").arg(row.position + 1);
        // The first one added is shown (the box picks it with no point yet).
        series_->addItem(name);
    }
    Series& series = all_[k];
    series.xs.push_back(row.elapsedS);
    series.values.push_back(*row.value);
    if (static_cast<int>(k) == series_->currentIndex())
        chart_->appendPoint(row.elapsedS, *row.value);
}

void RunChart::seriesChosen(int index) {
    readout_->clear();
    if (index < 0 || static_cast<std::size_t>(index) >= all_.size()) return;
    chart_->setPoints(all_[static_cast<std::size_t>(index)].xs,
                      all_[static_cast<std::size_t>(index)].values);
}

void RunChart::pointed(qsizetype index, double value) {
    const auto& xs = chart_->xs();
    if (index < 0 || static_cast<std::size_t>(index) >= xs.size()) return;
    readout_->setText(QStringLiteral("%1 s: %2")
                          .arg(xs[static_cast<std::size_t>(index)], 0, 'f', 3)
                          .arg(value, 0, 'g', 10));
}

void RunChart::SavePng_Click() {
    files_.savePng(*chart_, u"Save Run Chart as PNG");
}

void RunChart::SaveCsv_Click() {
    std::string text = "elapsed_s,value\r\n";
    const auto& xs = chart_->xs();
    const auto& values = chart_->values();
    for (std::size_t i = 0; i < values.size() && i < xs.size(); ++i)
        text += shortest(xs[i]) + ',' + shortest(values[i]) + "\r\n";
    files_.saveCsv(text, u"Save Run Chart Values as CSV");
}

} // namespace sequence
