#pragma once

#include <QObject>
#include <QPointer>

#include <string>
#include <string_view>

class QWidget;

namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace exchange {

class Exchange;
class HexView;
class PlotWindow;

// The Answer menu: the last answer's every byte in hex, and the last answer
// as a chart. Each shows in a window of its own that stays open beside the
// console and shows the next answer when asked again.
class AnswerCommands : public QObject {
    Q_OBJECT
public:
    AnswerCommands(QWidget& window, Exchange& exchange, platform::MessageBoxes& boxes,
                   platform::FileDialogs& fileDialogs);

    void Hex_Click();
    void Plot_Click();
    // The same for any answer (one of the history: `which` is "chosen").
    void showHex(const std::u16string& answer);
    void showPlot(const std::u16string& answer, std::u16string_view which = u"last");

    // The windows once opened, for whoever looks at them.
    PlotWindow* plotWindow() const;
    HexView* hexView() const;

private:
    QWidget& window_;
    Exchange& exchange_;
    platform::MessageBoxes& boxes_;
    platform::FileDialogs& fileDialogs_;
    QPointer<PlotWindow> plot_;
    QPointer<HexView> hex_;
};

} // namespace exchange
