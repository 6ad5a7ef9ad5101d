#include "console/ConsoleHarness.h"

#include "bus/drivers/TraceDriver.h"
#include "bus/sim/Instrument.h"
#include "syntaxcheck/SyntaxCheckForm.h"

#include <QRadioButton>
#include <QTimer>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace console_testing {

std::unique_ptr<bus::SimulatedBus> busWithDevicesAt(const std::vector<int>& addresses) {
    auto bus = std::make_unique<bus::SimulatedBus>();
    for (int address : addresses)
        bus->attach(address, bus::sim::makeGenericListener());
    return bus;
}

ConsoleHarness::ConsoleHarness(std::unique_ptr<bus::SimulatedBus> bus,
                               platform::SettingsStore* settings)
    : settings_(settings ? settings : &memorySettings) {
    EXPECT_TRUE(dir_.isValid());
    dataFolder = std::make_unique<platform::LocalDataFolder>(dataFolderPath().toStdU16String());
    tracePath_ = dir_.filePath(QStringLiteral("trace.jsonl")).toStdString();
    bus_ = bus.get();
    bus::TraceOpenResult traced = bus::TraceDriver::open(std::move(bus), tracePath_);
    EXPECT_TRUE(traced.error.empty()) << traced.error;
    driver_ = std::move(traced.driver);
}

ConsoleHarness::~ConsoleHarness() = default;

console::ManualForm& ConsoleHarness::create(bool simulatedBus) {
    form_ = std::make_unique<console::ManualForm>(console::ConsoleSeams{
        *driver_, simulatedBus, boxes, exit, fileDialogs, shell, *settings_, *dataFolder});
    return *form_;
}

console::ManualForm& ConsoleHarness::start() {
    create();
    form_->Form_Load();
    form_->Form_Activate();
    return *form_;
}

std::vector<TraceCall> ConsoleHarness::trace() const {
    std::vector<TraceCall> calls;
    QFile file(QString::fromStdString(tracePath_));
    if (!file.open(QIODevice::ReadOnly)) return calls;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty()) continue;
        QJsonParseError error{};
        const QJsonObject call = QJsonDocument::fromJson(line, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        const QString op = call.value(QStringLiteral("op")).toString();
        if (op.endsWith(QStringLiteral("GpibGlobalsForThread"))) continue;
        calls.push_back({op, call.value(QStringLiteral("args")).toArray()});
    }
    return calls;
}

QString ConsoleHarness::dataFolderPath() const {
    return QDir::toNativeSeparators(dir_.filePath(QStringLiteral("Vireon")));
}

QStringList ConsoleHarness::list() {
    QStringList entries;
    for (int i = 0; i < box()->count(); ++i)
        entries << box()->itemText(i);
    return entries;
}

std::vector<TraceCall> ConsoleHarness::traceSinceMark() const {
    const std::vector<TraceCall> calls = trace();
    return {calls.begin() + static_cast<std::ptrdiff_t>(mark_), calls.end()};
}

std::vector<QString> ConsoleHarness::writes() const {
    std::vector<QString> messages;
    for (const TraceCall& call : traceSinceMark())
        if (call.op == QStringLiteral("ibwrt")) messages.push_back(call.args.at(1).toString());
    return messages;
}

int ConsoleHarness::reads() const {
    return static_cast<int>(
        std::ranges::count(traceSinceMark(), QStringLiteral("ibrd"), &TraceCall::op));
}

bool ConsoleHarness::withDialog(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside,
                                const std::function<void()>& open) {
    bool opened = false;
    // Looks again until the dialog is up: whatever opens it may let events run first.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = form_->findChild<syntaxcheck::SyntaxCheckForm*>();
        if (dialog == nullptr || !dialog->isVisible()) return;
        poll.stop();
        opened = true;
        inside(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    poll.start();
    open ? open() : action("EnableSyntaxCheck")->trigger();
    return opened;
}

void ConsoleHarness::chooseMethod(int k, std::int16_t method) {
    select(k);
    EXPECT_TRUE(withDialog([&](syntaxcheck::SyntaxCheckForm& dialog) {
        auto* choice =
            dialog.findChild<QRadioButton*>(QStringLiteral("SyntaxCheckMethod_%1").arg(method + 1));
        // On the round indicator: the rest of the button takes no clicks.
        QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(6, choice->height() / 2));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Close_Button")),
                          Qt::LeftButton);
    }));
}

BenchConsole::BenchConsole(std::unique_ptr<bus::SimulatedBus> bus, int select)
    : ConsoleHarness(std::move(bus)) {
    start().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
    form().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form()));
    if (select >= 0 && !address(select)->isChecked()) this->select(select);
    for (const char* name : {"Caps", "CheckListForMatch", "vrAddCR", "vrAddLF",
                             "AllowMultipleCommands", "vrSelectNextListItem"})
        check(name)->setChecked(false);
    box()->clear();
    box()->addItems({QStringLiteral("<Help>"), QStringLiteral("*IDN?"), QStringLiteral("ID?"),
                     QStringLiteral("*RST")});
    box()->setCurrentIndex(-1);
    box()->setEditText(QString());
    form().state().MessageListChanged = false;
    if (box()->isEnabled()) box()->setFocus();
    markTrace();
}

std::u16string line(int address, std::u16string_view text) {
    return QStringLiteral("%1: ").arg(address, 2, 10, QLatin1Char('0')).toStdU16String() +
           std::u16string(text) + u"\r\n";
}

QString focusName(QWidget& window) {
    QWidget* focused = window.focusWidget();
    // An editable combo box hands its focus to its line edit.
    while (focused && focused->objectName().isEmpty() && focused->parentWidget())
        focused = focused->parentWidget();
    return focused ? focused->objectName() : QString();
}

} // namespace console_testing
