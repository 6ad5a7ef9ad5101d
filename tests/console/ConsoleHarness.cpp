#include "console/ConsoleHarness.h"

#include <cstring>

#include "bus/drivers/TraceDriver.h"
#include "bus/sim/Instrument.h"
#include "syntaxcheck/SyntaxCheckForm.h"

#include <QLabel>
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

ConsoleHarness::ConsoleHarness(std::unique_ptr<bus::SimulatedBus> bus) {
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
        *driver_, simulatedBus, boxes, exit, fileDialogs, shell, settings, *dataFolder});
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
    open ? open() : control<QAction>("EnableSyntaxCheck")->trigger();
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

QString ConsoleHarness::focus() {
    QWidget* focused = form_->focusWidget();
    // An editable combo box hands its focus to its line edit.
    while (focused && focused->objectName().isEmpty() && focused->parentWidget())
        focused = focused->parentWidget();
    return focused ? focused->objectName() : QString();
}

QString file(ConsoleHarness& h, const QString& name) {
    return QDir::toNativeSeparators(h.dataFolderPath() + '/' + name);
}
bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}
QString asked(ConsoleHarness& h, std::size_t i) {
    const platform::FileDialogRequest& r = h.fileDialogs.requests().at(i);
    const QString mode = r.mode == platform::FileDialogMode::Open ? "Open|" : "Save|";
    return QString(mode + QString::fromStdU16String(r.title + u'|' + r.folder + u'|' + r.fileName +
                                                    u'|' + r.filter))
        .replace(h.dataFolderPath(), "%1");
}

namespace {

// The watched controls whose enabled state differs from a selected device at
// rest, "+Name" enabled or "-Name" disabled, joined by commas; and each
// address button checked, in bold type, just when its device is selected.
QString changesFromRest(ConsoleHarness& h) {
    const QStringList atRest = {"SendMessageList", "IdAll", "Help", "EnableSyntaxCheck",
                                "SendToDevice"};
    QStringList changes;
    for (const char* name :
         {"SendMessageList", "SendMessage", "DeleteOutgoingMessageEntry", "ClearHistory",
          "ClearIncoming", "IdAll", "Help", "EnableSyntaxCheck", "SendToDevice"}) {
        const bool enabled = h.control<QObject>(name)->property("enabled").toBool();
        if (enabled != atRest.contains(name)) changes << (enabled ? '+' : '-') + QString(name);
    }
    const int selected = h.form().session().devices.SelectedDeviceIndex;
    for (int k = 0; k < 14; ++k) {
        EXPECT_EQ(h.address(k)->isChecked(), selected == k + 1) << k;
        EXPECT_EQ(h.address(k)->font().bold(), selected == k + 1) << k;
    }
    return changes.join(',');
}
} // namespace

void run(ConsoleHarness& h, const char* steps) {
    const QByteArray kDefaultFile = "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n";
    for (const QString& step : QString::fromUtf8(steps).split(' ', Qt::SkipEmptyParts)) {
        const char op = step[0].toLatin1();
        // A step the language does not know would otherwise pass unseen.
        if (!std::strchr("TC+-LIKSkrBUtqQYNZPWHDGMfOX=EVRFAc@a", op) || op == '\0') {
            ADD_FAILURE() << "unknown step " << step.toStdString() << " in " << steps;
            continue;
        }
        const QString arg = step.mid(2);
        const QByteArray name = arg.section('.', 0, 0).toLatin1();
        QObject* control = h.form().findChild<QObject*>(name);
        const std::u16string path = file(h, arg).toStdU16String();
        QComboBox& box = *h.box();
        QLineEdit& editor = *box.lineEdit();
        bool done = true;
        if (op == 'T') h.control<QAction>(name.constData())->trigger();
        if (op == 'C' || op == '+' || op == '-') control->setProperty("enabled", op != '-');
        if (op == 'C') QTest::mouseClick(h.control<QWidget>(name.constData()), Qt::LeftButton);
        if (op == 'L') box.clear(), box.addItems(("<Help>," + arg).split(','));
        if (op == 'L' || op == 'I') box.setCurrentIndex(op == 'L' ? -1 : arg.toInt());
        if (op == 'L') box.clearEditText();
        if (op == 'K' || op == 'S') box.setFocus(), editor.clear();
        if (op == 'K' || op == 'S') QTest::keyClicks(&editor, QString(arg).replace('_', ' '));
        if (op == 'k') QTest::keyClick(&editor, QKeySequence(arg)[0].key());
        if (op == 'r') QTest::keyRelease(&editor, QKeySequence(arg)[0].key());
        if (op == 't') QTest::keyClick(qobject_cast<QWidget*>(control), Qt::Key_Tab);
        if (op == 'q') h.form().close();
        if (op == 'Q')
            h.deviceHolds(h.form().session().devices.SelectedAddress,
                          std::string(arg.toULong(), 'a') + "\n");
        if (op == 'f') qobject_cast<QWidget*>(control)->setFocus();
        if (op == 'B' || op == 'U') control->setProperty("checked", op == 'B');
        if (op == 'S') QTest::mouseClick(h.control<QWidget>("SendMessage"), Qt::LeftButton);
        if (op == 'Y') h.boxes.answerNext(platform::Answer::Yes);
        if (op == 'N') h.boxes.answerNext(platform::Answer::No);
        if (op == 'Z') h.boxes.answerNext(platform::Answer::Cancel);
        if (op == 'P')
            h.fileDialogs.answerNext(platform::FileChoice{path, path.substr(path.rfind('/') + 1)});
        if (op == 'W') done = write(file(h, arg), "A\r\nB\r\n");
        if (op == 'H') done = write(file(h, arg), QByteArray(2 * 32767, '\r'));
        if (op == 'D') done = QDir().mkpath(file(h, arg));
        if (op == 'G') h.form().state().StartUpFile = path;
        if (op == 'M') h.form().state().MessageListChanged = true;
        if (op == 'M') run(h, "+:ClearHistory +:LoadStartupMessageList");
        const QByteArray property = arg.section('.', 1).section('=', 0, 0).toLatin1();
        if (op == 'O' || op == 'X') done = control->property(property).toBool() == (op == 'O');
        if (op == '=') done = control->property(property) == arg.section('=', 1).replace('_', ' ');
        if (op == 'E') done = h.list().mid(1).join(',') == arg;
        if (op == 'V') done = box.currentText() == arg;
        if (op == '@') {
            EXPECT_EQ(changesFromRest(h), arg) << steps;
        }
        if (op == 'a') done = h.form().session().devices.SelectedAddress == arg.toInt();
        if (op == 'c') done = editor.cursorPosition() == arg.toInt() && !editor.hasSelectedText();
        if (op == 'R') done = read(file(h, arg)) == kDefaultFile;
        if (op == 'F') done = read(file(h, arg)) == "A\r\nB\r\n";
        if (op == 'A') done = h.control<QLabel>("OutGoingFile")->text() == file(h, arg);
        EXPECT_TRUE(done) << step.toStdString() << " in " << steps;
    }
}

} // namespace console_testing
