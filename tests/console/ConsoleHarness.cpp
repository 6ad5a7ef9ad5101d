#include "console/ConsoleHarness.h"

#include "bus/drivers/TraceDriver.h"
#include "bus/sim/Instrument.h"

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
    dataFolder = std::make_unique<platform::LocalDataFolder>(
        QDir::toNativeSeparators(dir_.filePath(QStringLiteral("Vireon"))).toStdU16String());
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

std::vector<QString> ConsoleHarness::traceOps() const {
    std::vector<QString> ops;
    for (const TraceCall& call : trace())
        ops.push_back(call.op);
    return ops;
}

QString ConsoleHarness::dataFolderPath() const {
    return QDir::toNativeSeparators(dir_.filePath(QStringLiteral("Vireon")));
}

QString focusName(QWidget& window) {
    QWidget* focused = window.focusWidget();
    // An editable combo box hands its focus to its line edit.
    while (focused && focused->objectName().isEmpty() && focused->parentWidget())
        focused = focused->parentWidget();
    return focused ? focused->objectName() : QString();
}

} // namespace console_testing
