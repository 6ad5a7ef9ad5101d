#pragma once

#include "core/Console.h"
#include "sequence/RunListDialog.h"

#include <QObject>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QWidget;

namespace core {
class SequenceRun;
}
namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace sequence {

class RunChart;

// Message Lists > Run List...: sends the outgoing list's messages (or the
// current entry) to the selected device round after round, logs the numbers
// in the answers to a CSV file and shows them in a chart as they come. Stop
// and Esc end the run at once.
class RunListCommand : public QObject {
    Q_OBJECT
public:
    RunListCommand(QWidget& window, core::Console& console, platform::FileDialogs& fileDialogs,
                   platform::MessageBoxes& boxes, QComboBox& list, QCheckBox& addCr,
                   QCheckBox& addLf);
    ~RunListCommand() override;

    void RunList_Click();
    // The window passes on every exchange record: a running run takes its
    // verdict from it.
    void exchangeRecorded(const core::ExchangeRecord& record);

    // The chart of the last run, or nullptr before the first.
    RunChart* chart() const;

private:
    QWidget& window_;
    core::Console& console_;
    platform::FileDialogs& fileDialogs_;
    platform::MessageBoxes& boxes_;
    QComboBox& list_;
    QCheckBox& addCr_;
    QCheckBox& addLf_;
    RunListChoice last_;
    QPointer<RunChart> chart_;
    core::SequenceRun* running_ = nullptr;
};

} // namespace sequence
