#include "about/AboutCommand.h"
#include "about/LocalHttpServer.h"
#include "about/vrAboutForm.h"
#include "console/ConsoleHarness.h"
#include "platform/qt/QtDownload.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using testing_support::utf8;

const char* const kLatest = "This is the latest version.";
const char* const kNoData =
    "No data for this program found.\n\nGoto the Program Homepage for info ?";
const char* const kNotFound = "Web Datafile not foud.\n\nGoto the Program Homepage for info ?";

struct CheckCase {
    const char* name;
    int status; // 0: nobody listens; -1: the request is taken and never answered
    QByteArray body;
    std::string text;
};
class UpdateCheck : public testing::TestWithParam<CheckCase> {};

// The About dialog of a console at version 2.9, checking a web site on the
// loopback address, with an older versions file in its download folder.
TEST_P(UpdateCheck, AnswersKeepsTheFileAndOffersTheHomepageAsDesigned) {
    const CheckCase& c = GetParam();
    about_testing::LocalHttpServer site(c.status, c.body);
    QTemporaryDir folder;
    const QString versions = folder.filePath("vbTemp/versions.txt");
    ASSERT_TRUE(QDir().mkpath(folder.filePath("vbTemp")));
    ASSERT_TRUE(console_testing::write(versions, "old"));
    const QString base = site.base();
    // The silent site is given up at the download's own limit, kept short.
    platform::QtDownload download(c.status < 0 ? std::chrono::milliseconds(50)
                                               : platform::kDownloadLimit);
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::RecordingShell shell;
    about::vrAboutForm form(about::AboutSeams{boxes, shell, download, u"2.9", u"Dec 2024",
                                              folder.filePath("vbTemp").toStdU16String(),
                                              base.toStdU16String()});
    if (c.status == 404) boxes.answerNext(platform::Answer::No);
    form.findChild<QPushButton*>("Command_CheckUpdate")->click();

    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto& box = boxes.shown()[0];
    EXPECT_EQ(utf8(box.title), "Current version: 2.9");
    EXPECT_EQ(utf8(box.text), c.text);
    const bool offered = c.text != kLatest;
    EXPECT_EQ(box.buttons, offered ? platform::Buttons::YesNo : platform::Buttons::Ok);
    EXPECT_EQ(box.icon, platform::Icon::None);
    const std::u16string homepage = (base + "/dl/vr.htm").toStdU16String();
    // Opened on Yes, the default answer; the 404 row answers No.
    EXPECT_EQ(shell.opened(), std::vector<std::u16string>(offered && c.status != 404, homepage));
    EXPECT_EQ(console_testing::read(versions), c.text != kNotFound ? c.body : QByteArray("old"));
    EXPECT_EQ(site.lastPath(), c.status == 0 ? "" : "/dl/swv.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Sites, UpdateCheck,
    testing::Values(
        CheckCase{"Newer", 200, "Other: 9.9, \"Vireon: 3.0 \"\r\nLast: 1\r\n",
                  "A newer version  (  3.0  )  is available.\n\nGoto the Program Homepage to "
                  "download ?"},
        CheckCase{"Same", 200, "VIREON: 2.9", kLatest}, CheckCase{"Empty", 200, "", kNoData},
        CheckCase{"Binary", 200, QByteArray::fromHex("7f454c460000fffe2c0a0001"), kNoData},
        CheckCase{"TooLarge", 200, QByteArray(5 << 20, 'v'), kNotFound},
        CheckCase{"NotFound", 404, "<html>gone</html>", kNotFound},
        CheckCase{"ClosedPort", 0, "", kNotFound}, CheckCase{"Silent", -1, "", kNotFound}),
    [](const auto& info) { return std::string(info.param.name); });

// Through the main window's menu, at the web site the environment names.
TEST(AboutMenu, ShowsTheVersionChecksTheNamedSiteAndClosesOnEsc) {
    const QByteArray saved = qgetenv("VIREON_UPDATE_URL");
    about_testing::LocalHttpServer site(200, "Vireon: 2.0\n");
    qputenv("VIREON_UPDATE_URL", (site.base() + "//").toUtf8());
    console_testing::ConsoleHarness h;
    h.start();
    QString title, about;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<about::vrAboutForm*>(modal)) {
            title = dialog->windowTitle();
            about = dialog->findChild<QLabel*>("Label_About")->text();
            QTest::mouseClick(dialog->findChild<QLabel*>("Label_eMail"), Qt::LeftButton);
            dialog->findChild<QPushButton*>("Command_CheckUpdate")->click();
            QTest::keyClick(dialog->findChild<QPushButton*>("Command_CheckUpdate"), Qt::Key_Escape);
            EXPECT_FALSE(dialog->isVisible()) << "Esc on Check for Update closes it";
        }
        if (modal && modal->isVisible()) modal->close(); // the test ends all the same
    });
    h.control<QAction>("About")->trigger();
    saved.isNull() ? qunsetenv("VIREON_UPDATE_URL") : qputenv("VIREON_UPDATE_URL", saved);

    EXPECT_EQ(title, "About Vireon");
    EXPECT_EQ(about, "Version: 2.0,  Date: Dec 2024\n\n" +
                         QString::fromStdU16String(std::u16string(about::kAuthorLine)) + "\n\n");
    EXPECT_EQ(h.shell.opened(),
              std::vector<std::u16string>{u"mailto:" + std::u16string(about::kAuthorMail) +
                                          u"?subject=Vireon"});
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(h.boxes.shown()[0].text), kLatest);
    EXPECT_EQ(site.lastPath(), "/dl/swv.txt"); // the trailing slashes of the address dropped
    EXPECT_EQ(console_testing::read(QFileInfo(h.dataFolderPath()).absolutePath() +
                                    "/vbTemp/versions.txt"),
              "Vireon: 2.0\n");
}

} // namespace
