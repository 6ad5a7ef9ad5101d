#include "sequence/RunListCommand.h"

#include "core/Sequence.h"
#include "messagelist/EntryBox.h"
#include "platform/MessageBoxes.h"
#include "platform/TextTrim.h"
#include "sequence/RunChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QString>

#include <algorithm>

namespace sequence {

namespace {

constexpr std::u16string_view kTitle = u"Run List";

} // namespace

RunListCommand::RunListCommand(QWidget& window, core::Console& console,
                               platform::FileDialogs& fileDialogs, platform::MessageBoxes& boxes,
                               QComboBox& list, QCheckBox& addCr, QCheckBox& addLf)
    : QObject(&window), window_(window), console_(console), fileDialogs_(fileDialogs),
      boxes_(boxes), list_(list), addCr_(addCr), addLf_(addLf) {}

RunListCommand::~RunListCommand() = default;

RunChart* RunListCommand::chart() const {
    return chart_;
}

void RunListCommand::exchangeRecorded(const core::ExchangeRecord& record) {
    if (running_ != nullptr) running_->exchangeRecorded(record);
}

void RunListCommand::RunList_Click() {
    if (console_.busy()) return;
    const auto say = [this](std::u16string_view text) {
        boxes_.show(text, kTitle, platform::Buttons::Ok, platform::Icon::Exclamation);
        messagelist::focusEntryBox(list_);
    };
    if (console_.devices().SelectedDeviceIndex <= 0) {
        say(u"Select a device first: the run sends to the selected device.");
        return;
    }
    const auto choice = askRunList(&window_, fileDialogs_, last_);
    if (!choice) {
        messagelist::focusEntryBox(list_);
        return;
    }
    last_ = *choice;

    core::SequencePlan plan;
    if (choice->allEntries) {
        // Index 0 is the help, never a message.
        for (int i = 1; i < list_.count(); ++i)
            plan.entries.push_back(list_.itemText(i).toStdU16String());
    } else {
        plan.entries.push_back(list_.currentText().toStdU16String());
    }
    const bool anyMessage =
        std::any_of(plan.entries.begin(), plan.entries.end(),
                    [](const auto& e) { return core::outgoingOf(e, false, false).has_value(); });
    if (!anyMessage) {
        say(u"There is no message to run: the outgoing list has no entry but the help.");
        return;
    }
    plan.rounds = choice->rounds;
    plan.interval = std::chrono::milliseconds(choice->intervalMs);
    plan.addCr = addCr_.isChecked();
    plan.addLf = addLf_.isChecked();

    core::SequenceLog log;
    if (!choice->logPath.empty()) {
        const std::string error = log.open(std::filesystem::path(choice->logPath));
        if (!error.empty()) {
            say(u"The run did not start.\n\n" + QString::fromStdString(error).toStdU16String());
            return;
        }
    }

    if (chart_ == nullptr) {
        chart_ = new RunChart(fileDialogs_, boxes_, &window_);
        chart_->setStop([this] { console_.requestStop(); });
    }
    chart_->clear();
    chart_->show();

    core::SequenceOutcome outcome;
    {
        core::SequenceRun run(console_, std::move(plan), log.isOpen() ? &log : nullptr);
        run.setRowLogged([this](const core::LogRow& row) {
            if (chart_) chart_->add(row);
        });
        running_ = &run;
        {
            const auto operation = console_.beginOperation();
            if (!operation) {
                running_ = nullptr;
                return;
            }
            outcome = run.run(*operation);
        } // the last message's record is told as the operation ends
        running_ = nullptr;
    }
    if (outcome.logFailed)
        boxes_.show(u"The log file\n" + choice->logPath +
                        u"\ncould not be written. The run stopped there; the rows before "
                        u"are in the file.",
                    kTitle, platform::Buttons::Ok, platform::Icon::Exclamation);
    messagelist::focusEntryBox(list_);
}

} // namespace sequence
