#include "console/TransferProgress.h"

#include "platform/qt/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace console {

namespace {

constexpr int kHeight = 26;

QString decimals(double value) {
    return QString::number(value, 'f', 1);
}

} // namespace

std::u16string progressText(std::uint64_t bytes, std::chrono::milliseconds elapsed) {
    const double seconds = static_cast<double>(elapsed.count()) / 1000.0;
    // Grouped by hand: the same on every machine, whatever its locale.
    QString text = QString::number(static_cast<qulonglong>(bytes));
    for (qsizetype at = text.size() - 3; at > 0; at -= 3)
        text.insert(at, QLatin1Char(','));
    text += QStringLiteral(" bytes in ") + decimals(seconds) + QStringLiteral(" s");
    if (seconds > 0) {
        const double rate = static_cast<double>(bytes) / seconds;
        text += rate >= 1e6 ? QStringLiteral(", ") + decimals(rate / 1e6) + QStringLiteral(" MB/s")
                : rate >= 1e3
                    ? QStringLiteral(", ") + decimals(rate / 1e3) + QStringLiteral(" kB/s")
                    : QStringLiteral(", ") + decimals(rate) + QStringLiteral(" B/s");
    }
    return platform::fromQString(text);
}

TransferProgress::TransferProgress(QWidget& over)
    : QFrame(over.parentWidget()), label_(new QLabel(this)), bar_(new QProgressBar(this)),
      stop_(new QPushButton(QStringLiteral("Stop"), this)) {
    setObjectName(QStringLiteral("TransferProgress"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    label_->setObjectName(QStringLiteral("TransferProgressText"));
    stop_->setObjectName(QStringLiteral("StopTransfer"));
    // Out of the tab order the form states; Esc is the keyboard's way.
    stop_->setFocusPolicy(Qt::NoFocus);
    stop_->setToolTip(QStringLiteral("Stop the transfer (Esc)"));
    // The answer's length is not known before its end: the bar only shows
    // that bytes are moving.
    bar_->setRange(0, 0);
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(60);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 1, 4, 1);
    row->addWidget(label_, 1);
    row->addWidget(bar_);
    row->addWidget(stop_);
    const QRect area = over.geometry();
    setGeometry(area.left(), area.bottom() + 1 - kHeight, area.width(), kHeight);
    row->setGeometry(rect());
    hide();
}

void TransferProgress::showRunning(std::uint64_t bytes, std::chrono::milliseconds elapsed) {
    label_->setText(platform::toQString(progressText(bytes, elapsed)));
    bar_->setVisible(true);
    stop_->setVisible(true);
    if (isHidden()) {
        raise();
        show();
    }
}

void TransferProgress::showStopped(std::uint64_t bytes, std::chrono::milliseconds elapsed) {
    label_->setText(QStringLiteral("Stopped: ") +
                    platform::toQString(progressText(bytes, elapsed)));
    bar_->setVisible(false);
    stop_->setVisible(false);
    raise();
    show();
}

QString TransferProgress::text() const {
    return label_->text();
}

} // namespace console
