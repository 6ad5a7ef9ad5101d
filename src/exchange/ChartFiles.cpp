#include "exchange/ChartFiles.h"

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/qt/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

namespace exchange {

std::optional<std::u16string> ChartFiles::choose(const std::u16string& title,
                                                 const std::u16string& filter) {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = title;
    request.folder = folder_;
    request.filter = filter;
    const auto choice = fileDialogs_.choose(request);
    if (!choice) return std::nullopt;
    folder_ = choice->path.substr(0, choice->path.size() - choice->name.size());
    return choice->path;
}

void ChartFiles::cannotWrite(const std::u16string& path) {
    boxes_.show(u"The file\n" + path + u"\ncould not be written.", boxTitle_, platform::Buttons::Ok,
                platform::Icon::Exclamation);
}

void ChartFiles::savePng(QWidget& chart, const std::u16string& dialogTitle) {
    const auto path = choose(dialogTitle, u"PNG Images (*.png)|*.png");
    if (!path) return;
    QSaveFile file(platform::toQString(*path));
    if (!file.open(QIODevice::WriteOnly) || !chart.grab().save(&file, "PNG") || !file.commit())
        cannotWrite(*path);
}

void ChartFiles::saveCsv(const std::string& text, const std::u16string& dialogTitle) {
    const auto path = choose(dialogTitle, u"CSV Files (*.csv)|*.csv");
    if (!path) return;
    QSaveFile file(platform::toQString(*path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit())
        cannotWrite(*path);
}

SaveButtons layOutChartWindow(QWidget& window, QWidget& choice, QWidget& chart, QLabel& readout,
                              const QString& name) {
    SaveButtons buttons{new QPushButton(QStringLiteral("Save &PNG..."), &window),
                        new QPushButton(QStringLiteral("Save &CSV..."), &window)};
    buttons.png->setObjectName(name + QStringLiteral("SavePng"));
    buttons.csv->setObjectName(name + QStringLiteral("SaveCsv"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(&choice);
    controls->addWidget(buttons.png);
    controls->addWidget(buttons.csv);
    controls->addStretch();
    controls->addWidget(&readout);
    auto* layout = new QVBoxLayout(&window);
    layout->addLayout(controls);
    layout->addWidget(&chart, 1);
    window.resize(720, 420);
    return buttons;
}

} // namespace exchange
