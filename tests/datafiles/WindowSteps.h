#pragma once

#include "console/ConsoleHarness.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

// The operator's steps in the window of a ConsoleHarness, and what to see
// after them, written as words.
namespace window_steps {

using console_testing::ConsoleHarness;

// A file in the data folder.
inline QString file(ConsoleHarness& h, const QString& name) {
    return QDir::toNativeSeparators(h.dataFolderPath() + '/' + name);
}
inline bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
inline QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}
// File dialog request `i` as "Open|title|folder|name|filter", the data
// folder written as "%1".
inline QString asked(ConsoleHarness& h, std::size_t i) {
    const platform::FileDialogRequest& r = h.fileDialogs.requests().at(i);
    const QString mode = r.mode == platform::FileDialogMode::Open ? "Open|" : "Save|";
    return QString(mode + QString::fromStdU16String(r.title + u'|' + r.folder + u'|' + r.fileName +
                                                    u'|' + r.filter))
        .replace(h.dataFolderPath(), "%1");
}
// The watched controls whose enabled state differs from a selected device at
// rest, "+Name" enabled or "-Name" disabled, joined by commas; and each
// address button checked, in bold type, just when its device is selected.
inline QString changesFromRest(ConsoleHarness& h) {
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
// Runs the steps, separated by spaces; NAME is a control's object name, F a
// file in the data folder:
//   T:NAME trigger    C:NAME enable and click   +:NAME enable   U:NAME uncheck
//   L:A,B  list "<Help>",A,B, nothing in the box    I:N select entry N
//   K:TEXT type into the emptied box, "_" for a space   S:TEXT type and click Send
//   k:KEY  press and release KEY in the box   r:KEY release KEY   f:NAME focus
//   B:NAME check   t:NAME press Tab in NAME   q close the window
//   Q:N    the selected device holds N bytes "a" and a line feed
//   Y, N, Z answer the next box Yes, No, Cancel         P:F pick F in the next file dialog
//   W:F    write "A" and "B" to F      H:F write 32767 empty lines to F
//   D:F    make the folder F           G:F make F the start-up file
//   M      mark the list changed, as an edit does, reload controls on
// and checks:
//   O:NAME.PROPERTY true   X:NAME.PROPERTY false   E:A,B the entries after "<Help>"
//   V:TEXT the box's text  R:F F holds the default list  F:F F holds "A" and "B"
//   A:F the list's caption is F   c:N the caret at N, nothing selected
//   @:+A,-B the controls' changes from rest (changesFromRest)
//   a:N the selected address is N
inline void run(ConsoleHarness& h, const char* steps) {
    const QByteArray kDefaultFile = "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n";
    for (const QString& step : QString::fromUtf8(steps).split(' ', Qt::SkipEmptyParts)) {
        const char op = step[0].toLatin1();
        const QString arg = step.mid(2);
        const QByteArray name = arg.section('.', 0, 0).toLatin1();
        QObject* control = h.form().findChild<QObject*>(name);
        const std::u16string path = file(h, arg).toStdU16String();
        QComboBox& box = *h.box();
        QLineEdit& editor = *box.lineEdit();
        bool done = true;
        if (op == 'T') h.control<QAction>(name.constData())->trigger();
        if (op == 'C' || op == '+') control->setProperty("enabled", true);
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
        if (op == 'B' || op == 'U') h.control<QCheckBox>(name.constData())->setChecked(op == 'B');
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
        if (op == 'O' || op == 'X')
            done = control->property(arg.section('.', 1).toLatin1()).toBool() == (op == 'O');
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

} // namespace window_steps
