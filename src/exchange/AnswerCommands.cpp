#include "exchange/AnswerCommands.h"

#include "exchange/AnswerData.h"
#include "exchange/AnswerWindows.h"
#include "exchange/Exchange.h"
#include "platform/MessageBoxes.h"
#include "platform/Text8.h"

namespace exchange {

namespace {

void bringUp(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

AnswerCommands::AnswerCommands(QWidget& window, Exchange& exchange, platform::MessageBoxes& boxes,
                               platform::FileDialogs& fileDialogs)
    : window_(window), exchange_(exchange), boxes_(boxes), fileDialogs_(fileDialogs) {}

PlotWindow* AnswerCommands::plotWindow() const {
    return plot_;
}

HexView* AnswerCommands::hexView() const {
    return hex_;
}

void AnswerCommands::Hex_Click() {
    showHex(exchange_.lastAnswer());
}

void AnswerCommands::Plot_Click() {
    showPlot(exchange_.lastAnswer());
}

void AnswerCommands::showHex(const std::u16string& answer) {
    if (!hex_) hex_ = new HexView(&window_);
    hex_->setBytes(platform::toBytes(answer));
    bringUp(*hex_);
}

void AnswerCommands::showPlot(const std::u16string& answer, std::u16string_view which) {
    std::optional<std::string> block = BlockData(answer);
    std::optional<std::vector<double>> numbers;
    if (!block) numbers = ParseNumberList(answer);
    if (!block && !numbers) {
        boxes_.show(u"The " + std::u16string(which) +
                        u" answer is neither a list of numbers nor a block of data.\n"
                        u"There is nothing to plot.",
                    u"Plot", platform::Buttons::Ok, platform::Icon::Information);
        return;
    }
    if (!plot_) plot_ = new PlotWindow(fileDialogs_, boxes_, &window_);
    if (block)
        plot_->showBlock(std::move(*block));
    else
        plot_->showNumbers(std::move(*numbers));
    bringUp(*plot_);
}

} // namespace exchange
