#pragma once

#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QString;
class QWidget;

namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace exchange {

// What every chart window does to save its picture and its values: asks for
// the file (starting where the last one went), replaces it only once the new
// content is written whole, and names a file that could not be written in a
// box of the window's title.
class ChartFiles {
public:
    ChartFiles(platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
               std::u16string boxTitle)
        : fileDialogs_(fileDialogs), boxes_(boxes), boxTitle_(std::move(boxTitle)) {}

    void savePng(QWidget& chart, const std::u16string& dialogTitle);
    void saveCsv(const std::string& text, const std::u16string& dialogTitle);

private:
    std::optional<std::u16string> choose(const std::u16string& title, const std::u16string& filter);
    void cannotWrite(const std::u16string& path);

    platform::FileDialogs& fileDialogs_;
    platform::MessageBoxes& boxes_;
    std::u16string boxTitle_;
    std::u16string folder_;
};

// The chart windows' one layout: the window's own choice box and the two
// save buttons (named NAMESavePng and NAMESaveCsv) in a row above the chart,
// the pointer's readout at the row's right end.
struct SaveButtons {
    QPushButton* png;
    QPushButton* csv;
};
SaveButtons layOutChartWindow(QWidget& window, QWidget& choice, QWidget& chart, QLabel& readout,
                              const QString& name);

} // namespace exchange
