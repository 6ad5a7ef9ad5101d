#include "sequence/RunListDialog.h"

#include "platform/FileDialogs.h"
#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sequence {

namespace {

constexpr int kMostRounds = 1000000;
constexpr int kLongestIntervalMs = 24 * 60 * 60 * 1000;

} // namespace

std::optional<RunListChoice> askRunList(QWidget* parent, platform::FileDialogs& fileDialogs,
                                        const RunListChoice& start) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RunListDialog"));
    dialog.setWindowTitle(QStringLiteral("Run List"));
    auto* layout = new QVBoxLayout(&dialog);

    auto* all = new QRadioButton(QStringLiteral("&All entries"), &dialog);
    auto* current = new QRadioButton(QStringLiteral("C&urrent entry"), &dialog);
    all->setObjectName(QStringLiteral("AllEntries"));
    current->setObjectName(QStringLiteral("CurrentEntry"));
    all->setChecked(start.allEntries);
    current->setChecked(!start.allEntries);
    layout->addWidget(all);
    layout->addWidget(current);

    auto* form = new QFormLayout;
    auto* rounds = new QSpinBox(&dialog);
    rounds->setObjectName(QStringLiteral("Rounds"));
    rounds->setRange(1, kMostRounds);
    rounds->setValue(start.rounds > 0 ? start.rounds : 1);
    auto* untilStopped = new QCheckBox(QStringLiteral("until &stopped"), &dialog);
    untilStopped->setObjectName(QStringLiteral("UntilStopped"));
    untilStopped->setChecked(start.rounds == 0);
    rounds->setEnabled(start.rounds != 0);
    QObject::connect(untilStopped, &QCheckBox::toggled, rounds,
                     [rounds](bool on) { rounds->setEnabled(!on); });
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(rounds);
    repeat->addWidget(untilStopped);
    form->addRow(QStringLiteral("&Repeat (times):"), repeat);
    // The label's access key reaches the spin box, not the check box.
    static_cast<QLabel*>(form->labelForField(repeat))->setBuddy(rounds);

    auto* interval = new QSpinBox(&dialog);
    interval->setObjectName(QStringLiteral("IntervalMs"));
    interval->setRange(0, kLongestIntervalMs);
    interval->setSuffix(QStringLiteral(" ms"));
    interval->setValue(std::max(0, start.intervalMs));
    form->addRow(QStringLiteral("&Interval between rounds:"), interval);

    auto* log = new QLineEdit(platform::toQString(start.logPath), &dialog);
    log->setObjectName(QStringLiteral("LogFile"));
    log->setPlaceholderText(QStringLiteral("no log"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), &dialog);
    browse->setObjectName(QStringLiteral("LogBrowse"));
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        platform::FileDialogRequest request;
        request.mode = platform::FileDialogMode::Save;
        request.title = u"Log File";
        request.fileName = u"run.csv";
        request.filter = u"CSV Files (*.csv)|*.csv";
        if (const auto choice = fileDialogs.choose(request))
            log->setText(platform::toQString(choice->path));
    });
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(log, 1);
    logRow->addWidget(browse);
    form->addRow(QStringLiteral("CSV &log file:"), logRow);
    static_cast<QLabel*>(form->labelForField(logRow))->setBuddy(log);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName(QStringLiteral("RunListButtons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Run"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    RunListChoice choice;
    choice.allEntries = all->isChecked();
    choice.rounds = untilStopped->isChecked() ? 0 : rounds->value();
    choice.intervalMs = interval->value();
    choice.logPath = log->text().trimmed().toStdU16String();
    return choice;
}

} // namespace sequence
