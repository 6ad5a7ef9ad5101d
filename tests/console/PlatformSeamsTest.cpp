#include "platform/DataFolder.h"
#include "platform/FileDialogs.h"
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

#include <filesystem>

namespace {

using testing_support::utf8;

std::u16string native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdU16String();
}

// --- Data folder --------------------------------------------------------------

struct FolderCase {
    std::optional<std::u16string> appData;
    std::u16string base;
    std::u16string expected;
};

class DataFolderPath : public testing::TestWithParam<FolderCase> {};

TEST_P(DataFolderPath, PrefersAppDataElseThePerUserFolder) {
    const FolderCase& c = GetParam();
    EXPECT_EQ(utf8(platform::dataFolderPath(c.appData, c.base)), utf8(c.expected));
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(
    Windows, DataFolderPath,
    testing::Values(FolderCase{u"C:\\Users\\op\\AppData\\Roaming", u"C:\\x",
                               u"C:\\Users\\op\\AppData\\Roaming\\Vireon"},
                    FolderCase{u"C:\\Roaming\\", u"C:\\x", u"C:\\Roaming\\Vireon"},
                    FolderCase{std::nullopt, u"C:\\Local", u"C:\\Local\\Vireon"}));
#else
INSTANTIATE_TEST_SUITE_P(
    Posix, DataFolderPath,
    testing::Values(
        FolderCase{u"/home/op/appdata", u"/home/op/.local/share", u"/home/op/appdata/Vireon"},
        FolderCase{u"/home/op/appdata//", u"/x", u"/home/op/appdata/Vireon"},
        FolderCase{u"", u"/home/op/.local/share", u"/home/op/.local/share/Vireon"},
        FolderCase{std::nullopt, u"/home/op/.local/share/", u"/home/op/.local/share/Vireon"},
        FolderCase{std::nullopt, u"/", u"/Vireon"}));
#endif

TEST(LocalDataFolder, CreatesOneLevelAndReportsWhatItCannot) {
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("Vireon"));
    platform::LocalDataFolder created(native(fresh));
    const auto first = created.prepare();
    EXPECT_TRUE(first.usable);
    EXPECT_TRUE(QFileInfo(fresh).isDir());
    EXPECT_TRUE(created.prepare().usable) << "an existing folder is fine";

    platform::LocalDataFolder deep(native(dir.filePath(QStringLiteral("no/such/Vireon"))));
    const auto missingParent = deep.prepare();
    EXPECT_FALSE(missingParent.usable);
    EXPECT_FALSE(missingParent.error.empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));

    platform::LocalDataFolder perUser(native(dir.filePath(QStringLiteral("share/Vireon"))), true);
    EXPECT_TRUE(perUser.prepare().usable);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("share/Vireon"))).isDir());

    QFile blocker(dir.filePath(QStringLiteral("Blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    platform::LocalDataFolder blocked(native(blocker.fileName()));
    const auto inTheWay = blocked.prepare();
    EXPECT_FALSE(inTheWay.usable);
    EXPECT_EQ(utf8(inTheWay.error), "a file of that name is in the way");
}

// --- File dialogs -----------------------------------------------------------

TEST(FileFilter, PairsOfDescriptionAndPatterns) {
    const auto entries =
        platform::parseFileFilter(u"Data Files (*.dat)|*.dat|Text|*.txt;*.log|Odd");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(utf8(entries[0].description), "Data Files (*.dat)");
    ASSERT_EQ(entries[0].patterns.size(), 1u);
    EXPECT_EQ(utf8(entries[0].patterns[0]), "*.dat");
    ASSERT_EQ(entries[1].patterns.size(), 2u);
    EXPECT_EQ(utf8(entries[1].patterns[1]), "*.log");
    ASSERT_EQ(entries[2].patterns.size(), 1u);
    EXPECT_EQ(utf8(entries[2].patterns[0]), "*");
    EXPECT_TRUE(platform::parseFileFilter(u"").empty());
}

TEST(FileFilter, InQtsForm) {
    EXPECT_EQ(platform::qtNameFilters(u"Data Files (*.dat)|*.dat"),
              QStringLiteral("Data Files (*.dat)"));
    EXPECT_EQ(platform::qtNameFilters(u"Message Lists|*.gmg|All Files (*.*)|*.*"),
              QStringLiteral("Message Lists (*.gmg);;All Files (*.*)"));
    EXPECT_EQ(platform::qtNameFilters(u"Logs|*.txt;*.log"), QStringLiteral("Logs (*.txt *.log)"));
}

// --- Shell ------------------------------------------------------------------------

TEST(Shell, PathsBecomeFileAddressesAndAddressesStay) {
    EXPECT_EQ(platform::shellUrl(u"/data/run 1.dat"),
              QUrl::fromLocalFile(QStringLiteral("/data/run 1.dat")));
    EXPECT_EQ(platform::shellUrl(u"https://example.org/dl/vr.htm").scheme(),
              QStringLiteral("https"));
    EXPECT_EQ(platform::shellUrl(u"mailto:someone@example.org").scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(platform::shellUrl(u"C:\\data\\run.dat").isLocalFile());
}

// --- Settings store -----------------------------------------------------------

TEST(SettingsStore, TextValuesBySectionAndKey) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("s.ini"));
    {
        auto store = platform::QtSettingsStore::inFile(ini);
        EXPECT_EQ(store.read(u"Settings", u"Add CR"), std::nullopt);
        EXPECT_TRUE(store.write(u"Settings", u"Add CR", u"1"));
        EXPECT_TRUE(store.write(u"Settings", u"SelectedDataFolder", u"/data/\u00e9t\u00e9, 2"));
    }
    auto store = platform::QtSettingsStore::inFile(ini);
    EXPECT_EQ(store.read(u"Settings", u"Add CR"), std::u16string(u"1"));
    EXPECT_EQ(store.read(u"Settings", u"SelectedDataFolder"),
              std::u16string(u"/data/\u00e9t\u00e9, 2"));
    EXPECT_EQ(store.read(u"Other", u"Add CR"), std::nullopt);
    EXPECT_EQ(platform::readSetting(store, u"Settings", u"ID", u"1"), u"1");
}

TEST(SettingsStore, TheUsersStoreIsAnIniFileNamedForTheApplication) {
    const platform::QtSettingsStore store;
    EXPECT_TRUE(store.fileName().endsWith(QStringLiteral("Vireon/Vireon.ini")))
        << store.fileName().toStdString();
}

// --- Message boxes --------------------------------------------------------------

struct BoxCase {
    platform::Buttons buttons;
    platform::Icon icon;
    // The button pressed, or NoButton for Escape.
    QMessageBox::StandardButton press;
    platform::Answer answer;
    QMessageBox::Icon qtIcon;
};

class QtBoxes : public testing::TestWithParam<BoxCase> {};

TEST_P(QtBoxes, AnswerIsTheButtonPressed) {
    const BoxCase c = GetParam();
    QString seenText, seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    int buttonCount = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        buttonCount = static_cast<int>(box->buttons().size());
        if (c.press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(c.press)->click();
    });
    platform::QtMessageBoxes boxes;
    EXPECT_EQ(boxes.show(u"first line\nsecond line", u"Title", c.buttons, c.icon), c.answer);
    EXPECT_EQ(seenText, QStringLiteral("first line\nsecond line"));
    EXPECT_EQ(seenTitle, QStringLiteral("Title"));
    EXPECT_EQ(seenIcon, c.qtIcon);
    const int expectedButtons = c.buttons == platform::Buttons::Ok            ? 1
                                : c.buttons == platform::Buttons::YesNoCancel ? 3
                                                                              : 2;
    EXPECT_EQ(buttonCount, expectedButtons);
}

using platform::Answer;
using platform::Buttons;
using platform::Icon;
INSTANTIATE_TEST_SUITE_P(
    Answers, QtBoxes,
    testing::Values(
        BoxCase{Buttons::Ok, Icon::None, QMessageBox::Ok, Answer::Ok, QMessageBox::NoIcon},
        BoxCase{Buttons::Ok, Icon::Critical, QMessageBox::NoButton, Answer::Ok,
                QMessageBox::Critical},
        BoxCase{Buttons::OkCancel, Icon::Exclamation, QMessageBox::Ok, Answer::Ok,
                QMessageBox::Warning},
        BoxCase{Buttons::OkCancel, Icon::Exclamation, QMessageBox::NoButton, Answer::Cancel,
                QMessageBox::Warning},
        BoxCase{Buttons::YesNo, Icon::Question, QMessageBox::No, Answer::No, QMessageBox::Question},
        BoxCase{Buttons::YesNo, Icon::Question, QMessageBox::NoButton, Answer::No,
                QMessageBox::Question},
        BoxCase{Buttons::YesNoCancel, Icon::Question, QMessageBox::Yes, Answer::Yes,
                QMessageBox::Question},
        BoxCase{Buttons::YesNoCancel, Icon::Information, QMessageBox::NoButton, Answer::Cancel,
                QMessageBox::Information}));

} // namespace
