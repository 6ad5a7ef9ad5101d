#include "exchange/AnswerWindows.h"

#include "exchange/PlotView.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/qt/QtText.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <array>

namespace exchange {

namespace {

struct FormatChoice {
    const char* caption;
    SampleFormat format;
};
constexpr std::array<FormatChoice, 6> kFormats{{
    {"8-bit signed", {8, true, true}},
    {"8-bit unsigned", {8, false, true}},
    {"16-bit signed, MSB first", {16, true, true}},
    {"16-bit signed, LSB first", {16, true, false}},
    {"16-bit unsigned, MSB first", {16, false, true}},
    {"16-bit unsigned, LSB first", {16, false, false}},
}};

} // namespace

PlotWindow::PlotWindow(platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), files_(fileDialogs, boxes, u"Plot"), chart_(new PlotView(this)),
      format_(new QComboBox(this)), readout_(new QLabel(this)) {
    setObjectName(QStringLiteral("PlotWindow"));
    chart_->setObjectName(QStringLiteral("Chart"));
    format_->setObjectName(QStringLiteral("SampleFormat"));
    readout_->setObjectName(QStringLiteral("Readout"));
    for (const FormatChoice& choice : kFormats)
        format_->addItem(QString::fromLatin1(choice.caption));
    format_->setToolTip(QStringLiteral("How the block's bytes are samples"));
    const SaveButtons save = layOutChartWindow(*this, *format_, *chart_, *readout_, {});

    connect(format_, &QComboBox::currentIndexChanged, this, &PlotWindow::formatChosen);
    connect(save.png, &QPushButton::clicked, this, &PlotWindow::SavePng_Click);
    connect(save.csv, &QPushButton::clicked, this, &PlotWindow::SaveCsv_Click);
    connect(chart_, &PlotView::pointed, this, &PlotWindow::pointed);
}

void PlotWindow::showNumbers(std::vector<double> values) {
    block_.clear();
    format_->hide();
    plot(std::move(values));
}

void PlotWindow::showBlock(std::string data) {
    block_ = std::move(data);
    format_->show();
    formatChosen();
}

void PlotWindow::formatChosen() {
    if (block_.empty() && format_->isHidden()) return;
    const auto index = static_cast<std::size_t>(std::max(0, format_->currentIndex()));
    plot(BlockSamples(block_, kFormats[index].format));
}

void PlotWindow::plot(std::vector<double> values) {
    setWindowTitle(QStringLiteral("Plot - %1 points").arg(values.size()));
    readout_->clear();
    chart_->setValues(std::move(values));
}

void PlotWindow::pointed(qsizetype index, double value) {
    readout_->setText(QStringLiteral("Point %1: %2").arg(index).arg(value, 0, 'g', 10));
}

void PlotWindow::SavePng_Click() {
    files_.savePng(*chart_, u"Save Plot as PNG");
}

void PlotWindow::SaveCsv_Click() {
    files_.saveCsv(CsvText(chart_->values()), u"Save Plot Values as CSV");
}

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("HexView"));
    setWindowFlag(Qt::Window);
    viewport()->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setBackgroundRole(QPalette::Base);
    resize(640, 480);
}

void HexView::setBytes(std::string bytes) {
    bytes_ = std::move(bytes);
    setWindowTitle(QStringLiteral("Hex - %1 bytes").arg(bytes_.size()));
    verticalScrollBar()->setValue(0);
    updateScrollBar();
    viewport()->update();
}

void HexView::updateScrollBar() {
    const int lineHeight = std::max(1, viewport()->fontMetrics().height());
    const int visible = viewport()->height() / lineHeight;
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setRange(0,
                                  static_cast<int>(std::max<qsizetype>(0, lineCount() - visible)));
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int lineHeight = std::max(1, viewport()->fontMetrics().height());
    const int ascent = viewport()->fontMetrics().ascent();
    const qsizetype first = verticalScrollBar()->value();
    for (int row = 0; row * lineHeight < viewport()->height(); ++row) {
        const qsizetype line = first + row;
        if (line >= lineCount()) break;
        painter.drawText(4, row * lineHeight + ascent,
                         platform::toQString(HexLine(bytes_, static_cast<std::size_t>(line) * 16)));
    }
}

} // namespace exchange
