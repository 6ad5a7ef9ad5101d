#include "platform/DataFolder.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "support/ScriptedMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using testing_support::utf8;

std::u16string native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdU16String();
}

TEST(DataFolder, PrefersAppDataElseThePerUserFolderAndCreatesOneLevel) {
#ifndef _WIN32
    EXPECT_EQ(utf8(platform::dataFolderPath(u"/home/op/appdata//", u"/x")),
              "/home/op/appdata/Vireon");
    EXPECT_EQ(utf8(platform::dataFolderPath(u"", u"/share")), "/share/Vireon");
    EXPECT_EQ(utf8(platform::dataFolderPath(std::nullopt, u"/share/")), "/share/Vireon");
#endif
    QTemporaryDir dir; // creating one level and failing for more: see the start-up tests
    EXPECT_TRUE(platform::LocalDataFolder(native(dir.filePath(QStringLiteral("s/V"))), true)
                    .prepare()
                    .usable);
    QFile blocker(dir.filePath(QStringLiteral("Blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_EQ(utf8(platform::LocalDataFolder(native(blocker.fileName())).prepare().error),
              "a file of that name is in the way");
}

TEST(FileDialogsShellAndSettings, FiltersInQtsFormFileAddressesAndTheIniFilesName) {
    EXPECT_TRUE(
        platform::QtSettingsStore().fileName().endsWith(QStringLiteral("Vireon/Vireon.ini")));
    EXPECT_EQ(platform::qtNameFilters(u"Message Lists|*.gmg|All Files (*.*)|*.*"),
              QStringLiteral("Message Lists (*.gmg);;All Files (*.*)"));
    EXPECT_EQ(platform::qtNameFilters(u"Logs|*.txt;*.log|Odd"),
              QStringLiteral("Logs (*.txt *.log);;Odd (*)"));
    EXPECT_EQ(platform::shellUrl(u"/data/run 1.dat"),
              QUrl::fromLocalFile(QStringLiteral("/data/run 1.dat")));
    EXPECT_EQ(platform::shellUrl(u"mailto:someone@example.org").scheme(), QStringLiteral("mailto"));
}

struct BoxCase {
    platform::Buttons buttons;
    platform::Icon icon;
    QMessageBox::StandardButton press; // NoButton: Escape
    platform::Answer answer;
    QMessageBox::Icon qtIcon;
};

class QtBoxes : public testing::TestWithParam<BoxCase> {};

TEST_P(QtBoxes, AnswerIsTheButtonPressed) {
    const BoxCase c = GetParam();
    QString seen;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = box->windowTitle() + QLatin1Char('|') + box->text();
        seenIcon = box->icon();
        if (c.press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(c.press)->click();
    });
    EXPECT_EQ(platform::QtMessageBoxes().show(u"one\ntwo", u"Title", c.buttons, c.icon), c.answer);
    EXPECT_EQ(seen, QStringLiteral("Title|one\ntwo"));
    EXPECT_EQ(seenIcon, c.qtIcon);
}

using platform::Answer;
using platform::Buttons;
using platform::Icon;
const char* const kButtonsNames[] = {"Ok", "OkCancel", "YesNo", "YesNoCancel"}; // enum order
const BoxCase kBoxes[] = {
    {Buttons::Ok, Icon::Critical, QMessageBox::NoButton, Answer::Ok, QMessageBox::Critical},
    {Buttons::OkCancel, Icon::Exclamation, QMessageBox::NoButton, Answer::Cancel,
     QMessageBox::Warning},
    {Buttons::YesNo, Icon::Question, QMessageBox::NoButton, Answer::No, QMessageBox::Question},
    {Buttons::YesNoCancel, Icon::None, QMessageBox::Yes, Answer::Yes, QMessageBox::NoIcon}};
INSTANTIATE_TEST_SUITE_P(Answers, QtBoxes, testing::ValuesIn(kBoxes), [](const auto& info) {
    return kButtonsNames[static_cast<int>(info.param.buttons)];
});

} // namespace
