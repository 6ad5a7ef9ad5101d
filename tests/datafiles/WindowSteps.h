#pragma once

#include "console/ConsoleHarness.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The operator's steps in the window of a ConsoleHarness, written as words.
namespace window_steps {

using console_testing::ConsoleHarness;

inline QComboBox& entryBox(ConsoleHarness& h) {
    return *h.control<QComboBox>("SendMessageList");
}
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

// Runs the steps, separated by spaces; NAME is a control's object name, F a
// file in the data folder:
//   T:NAME trigger    C:NAME enable and click   +:NAME enable   U:NAME uncheck
//   L:A,B  list "<Help>",A,B, nothing in the box    I:N select entry N
//   K:TEXT type into the emptied box   S:TEXT type and click Send
//   Y, N   answer the next box      P:F pick F in the next file dialog
//   W:F    write "MEAS?" and "CONF" to F   H:F write 32767 empty lines to F
//   D:F    make the folder F   G:F make F the start-up file
//   M      mark the list changed, as an edit does, reload controls on
// File dialog request `i` as "Open|title|folder|name|filter", the data
// folder written as "%1".
inline QString asked(ConsoleHarness& h, std::size_t i) {
    const platform::FileDialogRequest& r = h.fileDialogs.requests().at(i);
    return QStringList{r.mode == platform::FileDialogMode::Open ? "Open" : "Save",
                       QString::fromStdU16String(r.title), QString::fromStdU16String(r.folder),
                       QString::fromStdU16String(r.fileName), QString::fromStdU16String(r.filter)}
        .join('|')
        .replace(h.dataFolderPath(), "%1");
}
inline void setList(ConsoleHarness& h, const QString& entries) {
    entryBox(h).clear();
    entryBox(h).addItems(QStringList{"<Help>"} + entries.split(',', Qt::SkipEmptyParts));
    entryBox(h).setCurrentIndex(-1);
    entryBox(h).clearEditText();
}
inline void type(ConsoleHarness& h, const QString& text) {
    entryBox(h).setFocus();
    entryBox(h).lineEdit()->clear();
    QTest::keyClicks(entryBox(h).lineEdit(), text);
}
inline void click(ConsoleHarness& h, const char* name) {
    h.control<QWidget>(name)->setEnabled(true);
    QTest::mouseClick(h.control<QWidget>(name), Qt::LeftButton);
}
inline void run(ConsoleHarness& h, const char* steps) {
    for (const QString& step : QString::fromUtf8(steps).split(' ', Qt::SkipEmptyParts)) {
        const char op = step[0].toLatin1();
        const QString arg = step.mid(2);
        const QByteArray name = arg.toLatin1();
        const std::u16string path = file(h, arg).toStdU16String();
        if (op == 'T') h.control<QAction>(name.constData())->trigger();
        if (op == 'C') click(h, name.constData());
        if (op == '+') h.form().findChild<QObject*>(arg)->setProperty("enabled", true);
        if (op == 'U') h.control<QCheckBox>(name.constData())->setChecked(false);
        if (op == 'L') setList(h, arg);
        if (op == 'I') entryBox(h).setCurrentIndex(arg.toInt());
        if (op == 'K' || op == 'S') type(h, arg);
        if (op == 'S') click(h, "SendMessage");
        if (op == 'Y') h.boxes.answerNext(platform::Answer::Yes);
        if (op == 'N') h.boxes.answerNext(platform::Answer::No);
        if (op == 'P')
            h.fileDialogs.answerNext(platform::FileChoice{path, path.substr(path.rfind('/') + 1)});
        bool done = true;
        if (op == 'W') done = write(file(h, arg), "MEAS?\r\nCONF\r\n");
        if (op == 'H') done = write(file(h, arg), QByteArray(2 * 32767, '\r'));
        if (op == 'D') done = QDir().mkpath(file(h, arg));
        if (op == 'G') h.form().state().StartUpFile = path;
        if (op == 'M') h.form().state().MessageListChanged = true;
        if (op == 'M') run(h, "+:ClearHistory +:LoadStartupMessageList");
        EXPECT_TRUE(done) << step.toStdString();
    }
}

} // namespace window_steps
