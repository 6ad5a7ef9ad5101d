#include "about/AboutCommand.h"
#include "about/LocalHttpServer.h"
#include "about/vrAboutForm.h"
#include "console/ConsoleHarness.h"
#include "platform/qt/QtDownload.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using about::vrAboutForm;
using about_testing::LocalHttpServer;
using platform::Answer;
using testing_support::utf8;

template <class T> T* child(QWidget& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}
QPushButton* closeButton(QWidget& form) {
    return child<QPushButton>(form, "Command_OK");
}
QPushButton* checkButton(QWidget& form) {
    return child<QPushButton>(form, "Command_CheckUpdate");
}
QLabel* label(QWidget& form, const char* name) {
    return child<QLabel>(form, name);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The About dialog of a console at version 2.9, checking against a web site
// on the loopback address.
struct AboutDialog : testing::Test {
    AboutDialog() {
        EXPECT_TRUE(folder.isValid());
        EXPECT_TRUE(site.listening());
    }

    std::unique_ptr<vrAboutForm> open(const QString& webSite) {
        auto form = std::make_unique<vrAboutForm>(
            about::AboutSeams{boxes, shell, download, u"2.9", u"Dec 2024",
                              downloadFolder().toStdU16String(), webSite.toStdU16String()});
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    QString downloadFolder() const {
        return QDir::toNativeSeparators(folder.filePath(QStringLiteral("vbTemp")));
    }
    QString versionsFile() const {
        return QDir::toNativeSeparators(folder.filePath(QStringLiteral("vbTemp/versions.txt")));
    }
    void check(vrAboutForm& form) { QTest::mouseClick(checkButton(form), Qt::LeftButton); }

    testing_support::ScriptedMessageBoxes boxes;
    testing_support::RecordingShell shell;
    platform::QtDownload download;
    QTemporaryDir folder;
    LocalHttpServer site;
};

TEST_F(AboutDialog, ShowsTheVersionDateAndAuthor) {
    auto form = open(site.base());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("About Vireon"));
    EXPECT_EQ(label(*form, "Label_About")->text(),
              QStringLiteral("Version: 2.9,  Date: Dec 2024\n\n") +
                  QString::fromStdU16String(std::u16string(about::kAuthorLine)) +
                  QStringLiteral("\n\n"));
    EXPECT_EQ(checkButton(*form)->text(), QStringLiteral("Check for Update"));
    EXPECT_EQ(closeButton(*form)->text(), QStringLiteral("Close"));
    EXPECT_TRUE(form->isModal());
}

TEST_F(AboutDialog, TheMailLabelStartsAMessageWithTheProgramAsSubject) {
    auto form = open(site.base());
    QTest::mouseClick(label(*form, "Label_eMail"), Qt::LeftButton);
    EXPECT_EQ(shell.opened(),
              (std::vector<std::u16string>{u"mailto:" + std::u16string(about::kAuthorMail) +
                                           u"?subject=Vireon"}));
}

TEST_F(AboutDialog, CloseAndEscOnEitherButtonCloseIt) {
    for (const char* way : {"click", "esc-close", "esc-check"}) {
        SCOPED_TRACE(way);
        auto form = open(site.base());
        const std::string how = way;
        if (how == "click") {
            QTest::mouseClick(closeButton(*form), Qt::LeftButton);
        } else {
            QPushButton* button = how == "esc-close" ? closeButton(*form) : checkButton(*form);
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Escape);
        }
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(site.requests(), 0);
    }
}

struct CheckCase {
    const char* name;
    int status;
    QByteArray body;
    const char* text;
    platform::Buttons buttons;
};

class UpdateCheck : public AboutDialog, public testing::WithParamInterface<CheckCase> {};

TEST_P(UpdateCheck, GivesTheDesignedAnswerAndOffersTheHomepage) {
    const CheckCase c = GetParam();
    site.reply(c.status, c.body);
    auto form = open(site.base());

    check(*form);

    EXPECT_EQ(site.lastPath(), QByteArray("/dl/swv.txt"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto& box = boxes.shown()[0];
    EXPECT_EQ(utf8(box.title), "Current version: 2.9");
    EXPECT_EQ(utf8(box.text), c.text);
    EXPECT_EQ(box.buttons, c.buttons);
    EXPECT_EQ(box.icon, platform::Icon::None);
    // The default answer is Yes: the homepage opens where one is offered.
    if (c.buttons == platform::Buttons::YesNo) {
        EXPECT_EQ(shell.opened(),
                  (std::vector<std::u16string>{(site.base() + "/dl/vr.htm").toStdU16String()}));
    } else {
        EXPECT_TRUE(shell.opened().empty());
    }
    if (c.status == 200 && c.body.size() < (4 << 20)) {
        EXPECT_EQ(fileBytes(versionsFile()), c.body);
    }
    EXPECT_TRUE(form->isVisible());
}

const char* const kNewer = "A newer version  (  3.0  )  is available.\n\nGoto the Program Homepage "
                           "to download ?";
const char* const kLatest = "This is the latest version.";
const char* const kNoData =
    "No data for this program found.\n\nGoto the Program Homepage for info ?";
const char* const kWebNotFound = "Web Datafile not foud.\n\nGoto the Program Homepage for info ?";

INSTANTIATE_TEST_SUITE_P(
    Sites, UpdateCheck,
    testing::Values(
        CheckCase{"Newer", 200, "Other: 9.9, \"Vireon: 3.0 \"\r\nLast: 1\r\n", kNewer,
                  platform::Buttons::YesNo},
        CheckCase{"NewerByNumber", 200, "vireon:2.10, VIREON: 1", kLatest, platform::Buttons::Ok},
        CheckCase{"Same", 200, "VIREON: 2.9", kLatest, platform::Buttons::Ok},
        CheckCase{"NoNumber", 200, "Vireon: soon", kLatest, platform::Buttons::Ok},
        CheckCase{"Empty", 200, "", kNoData, platform::Buttons::YesNo},
        CheckCase{"Binary", 200,
                  QByteArray("\x7f"
                             "ELF\0\0\xff\xfe,\n\0\x01",
                             13),
                  kNoData, platform::Buttons::YesNo},
        CheckCase{"Missing", 404, "<html>gone</html>", kWebNotFound, platform::Buttons::YesNo},
        CheckCase{"Huge", 200, QByteArray(5 << 20, 'v'), kWebNotFound, platform::Buttons::YesNo}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST_F(AboutDialog, NoToTheQuestionOpensNothingAndAFailedDownloadKeepsTheOldFile) {
    site.reply(200, "Vireon: 3.0");
    auto form = open(site.base());
    boxes.answerNext(Answer::No);
    check(*form);
    ASSERT_EQ(fileBytes(versionsFile()), QByteArray("Vireon: 3.0"));
    EXPECT_TRUE(shell.opened().empty());

    site.reply(404, "nothing");
    boxes.answerNext(Answer::No);
    check(*form);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(utf8(boxes.shown()[1].text), kWebNotFound);
    EXPECT_EQ(fileBytes(versionsFile()), QByteArray("Vireon: 3.0"));
    EXPECT_TRUE(shell.opened().empty());
}

TEST_F(AboutDialog, ASiteNobodyAnswersAtIsAWebFileNotFound) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    auto form = open(base);
    check(*form);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown()[0].text), kWebNotFound);
}

TEST(Download, AServerThatNeverAnswersIsGivenUpWithinTheLimitAndTheOldFileStays) {
    LocalHttpServer site;
    ASSERT_TRUE(site.listening());
    site.staySilent();
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("versions.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    platform::QtDownload download(std::chrono::milliseconds(300));
    const platform::DownloadResult result = download.toFile(
        (site.base() + QStringLiteral("/dl/swv.txt")).toStdU16String(), path.toStdU16String());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(utf8(result.error).find("did not answer"), std::string::npos) << utf8(result.error);
    EXPECT_EQ(site.requests(), 1);
    EXPECT_EQ(fileBytes(path), QByteArray("old"));
}

TEST(Download, AnAddressWithoutSchemeIsRefused) {
    platform::QtDownload download;
    QTemporaryDir folder;
    const platform::DownloadResult result =
        download.toFile(u"vireon.example.org/dl/swv.txt",
                        folder.filePath(QStringLiteral("v.txt")).toStdU16String());
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}

TEST(WebSite, IsTheBuiltInAddressUnlessTheEnvironmentNamesAnother) {
    const QByteArray saved = qgetenv("VIREON_UPDATE_URL");
    qunsetenv("VIREON_UPDATE_URL");
    EXPECT_EQ(about::updateWebSite(), u"https://vireon.example.org");
    qputenv("VIREON_UPDATE_URL", "http://127.0.0.1:8080//");
    EXPECT_EQ(about::updateWebSite(), u"http://127.0.0.1:8080");
    if (saved.isNull())
        qunsetenv("VIREON_UPDATE_URL");
    else
        qputenv("VIREON_UPDATE_URL", saved);
}

// ---------------------------------------------------------------------------
// Through the main window's menu.

TEST(AboutMenu, ChecksTheWebSiteNamedByTheEnvironmentAndKeepsTheFileBesideTheDataFolder) {
    LocalHttpServer site;
    ASSERT_TRUE(site.listening());
    site.reply(200, "Vireon: 2.0\n");
    const QByteArray saved = qgetenv("VIREON_UPDATE_URL");
    qputenv("VIREON_UPDATE_URL", site.base().toUtf8());

    console_testing::ConsoleHarness h;
    h.start().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.form()));

    QString title;
    QString about;
    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<vrAboutForm*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        found = true;
        title = dialog->windowTitle();
        about = label(*dialog, "Label_About")->text();
        QTest::mouseClick(checkButton(*dialog), Qt::LeftButton);
        QTest::mouseClick(closeButton(*dialog), Qt::LeftButton);
    });
    // Should the dialog not come up as expected, the test must still end.
    QTimer::singleShot(15000, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    h.control<QAction>("About")->trigger();

    if (saved.isNull())
        qunsetenv("VIREON_UPDATE_URL");
    else
        qputenv("VIREON_UPDATE_URL", saved);

    ASSERT_TRUE(found);
    EXPECT_EQ(title, QStringLiteral("About Vireon"));
    EXPECT_TRUE(about.startsWith(QStringLiteral("Version: 2.0,  Date: Dec 2024\n\n")));
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(h.boxes.shown()[0].title), "Current version: 2.0");
    EXPECT_EQ(utf8(h.boxes.shown()[0].text), kLatest);
    const QString parent = QFileInfo(h.dataFolderPath()).absolutePath();
    EXPECT_EQ(fileBytes(parent + QStringLiteral("/vbTemp/versions.txt")),
              QByteArray("Vireon: 2.0\n"));
}

} // namespace
