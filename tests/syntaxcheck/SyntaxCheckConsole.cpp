#include "syntaxcheck/SyntaxCheckConsole.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace syntaxcheck_testing {

BenchConsole::BenchConsole(std::unique_ptr<bus::SimulatedBus> bus) : h(std::move(bus)) {
    h.start().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&h.form()));
    h.form().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&h.form()));
    for (const char* name : {"Caps", "CheckListForMatch", "vrAddCR", "vrAddLF"})
        h.control<QCheckBox>(name)->setChecked(false);
    markTrace();
}

QPushButton* BenchConsole::address(int k) {
    return h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
}

void BenchConsole::select(int k) {
    QTest::mouseClick(address(k), Qt::LeftButton);
}

QPointer<QTimer>
BenchConsole::whenDialogOpens(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside,
                              bool& opened) {
    opened = false;
    // Looks again until the dialog is up: whatever opens it may let events
    // run before it does.
    auto* poll = new QTimer(&h.form());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll,
                     [this, poll, inside, &opened, tries = 0]() mutable {
                         auto* form = h.form().findChild<syntaxcheck::SyntaxCheckForm*>();
                         if (form == nullptr || !form->isVisible()) {
                             if (++tries > 400) poll->deleteLater();
                             return;
                         }
                         poll->stop();
                         poll->deleteLater();
                         opened = true;
                         inside(*form);
                         // Never leave a test hanging in the dialog's event loop.
                         if (form->isVisible()) form->reject();
                     });
    poll->start();
    return poll;
}

bool BenchConsole::withDialog(const std::function<void(syntaxcheck::SyntaxCheckForm&)>& inside) {
    bool opened = false;
    const QPointer<QTimer> poll = whenDialogOpens(inside, opened);
    h.control<QAction>("EnableSyntaxCheck")->trigger();
    // A dialog that never came up leaves no poll behind for the next one.
    delete poll.data();
    return opened;
}

void BenchConsole::chooseMethod(int k, std::int16_t method) {
    select(k);
    const bool opened = withDialog([&](syntaxcheck::SyntaxCheckForm& form) {
        QRadioButton* choice = option(form, method + 1);
        // On the round indicator: the rest of the button's width takes no clicks.
        QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(6, choice->height() / 2));
        EXPECT_TRUE(choice->isChecked());
        QTest::mouseClick(closeButton(form), Qt::LeftButton);
    });
    EXPECT_TRUE(opened);
}

void BenchConsole::send(const QString& text) {
    QComboBox* box = h.control<QComboBox>("SendMessageList");
    // The last message stays in the box after it was sent.
    box->setEditText(QString());
    QLineEdit* editor = box->lineEdit();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

std::vector<console_testing::TraceCall> BenchConsole::traceSinceMark() const {
    std::vector<console_testing::TraceCall> calls = h.trace();
    calls.erase(calls.begin(),
                calls.begin() + static_cast<std::ptrdiff_t>(std::min(mark_, calls.size())));
    return calls;
}

std::vector<QString> BenchConsole::opsSinceMark() const {
    std::vector<QString> ops;
    for (const console_testing::TraceCall& call : traceSinceMark())
        ops.push_back(call.op);
    return ops;
}

std::vector<QString> BenchConsole::writesSinceMark() const {
    std::vector<QString> messages;
    for (const console_testing::TraceCall& call : traceSinceMark())
        if (call.op == QStringLiteral("ibwrt")) messages.push_back(call.args.at(1).toString());
    return messages;
}

syntaxcheck::SyntaxChecking& BenchConsole::check() {
    return h.form().syntaxChecking();
}

QLabel* BenchConsole::errorLabel() {
    return h.control<QLabel>("SyntaxErrorMessage");
}

QString BenchConsole::view() {
    return h.control<QPlainTextEdit>("ReceivedMessages")->toPlainText();
}

void BenchConsole::waitForBlinkEnd() {
    // Seven ticks of 200 ms; the limit only keeps a broken blink from hanging.
    for (int i = 0; i < 100 && h.form().Timer1().isActive(); ++i)
        QTest::qWait(50);
}

QRadioButton* option(syntaxcheck::SyntaxCheckForm& form, int index) {
    auto* found = form.findChild<QRadioButton*>(QStringLiteral("SyntaxCheckMethod_%1").arg(index));
    EXPECT_NE(found, nullptr) << "no option " << index;
    return found;
}

QPushButton* closeButton(syntaxcheck::SyntaxCheckForm& form) {
    auto* found = form.findChild<QPushButton*>(QStringLiteral("Close_Button"));
    EXPECT_NE(found, nullptr);
    return found;
}

QColor captionColour(QPushButton* button) {
    return button->palette().color(QPalette::ButtonText);
}

QColor systemCaptionColour(QPushButton* button) {
    return QApplication::palette(button).color(QPalette::ButtonText);
}

} // namespace syntaxcheck_testing
