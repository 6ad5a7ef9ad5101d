#include "about/vrAboutForm.h"

#include "about/VersionsFile.h"
#include "core/Version.h"
#include "platform/DataFolder.h"
#include "platform/qt/QtText.h"

#include "ui_vrAboutForm.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>

#include <filesystem>
#include <fstream>

namespace about {

namespace {

constexpr int kEscape = 27;

} // namespace

vrAboutForm::vrAboutForm(AboutSeams seams, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::vrAboutForm>()), seams_(std::move(seams)) {
    ui_->setupUi(this);
    ui_->Label_eMail->installEventFilter(this);
    ui_->Command_OK->installEventFilter(this);
    ui_->Command_CheckUpdate->installEventFilter(this);
    connect(ui_->Command_OK, &QPushButton::clicked, this, &vrAboutForm::Command_OK_Click);
    connect(ui_->Command_CheckUpdate, &QPushButton::clicked, this,
            &vrAboutForm::Command_CheckUpdate_Click);
    Form_Load();
}

vrAboutForm::~vrAboutForm() = default;

void vrAboutForm::Form_Load() {
    std::u16string title = u"About ";
    title += console::kProgramTitle;
    setWindowTitle(platform::toQString(title));
    ui_->Label_About->setText(platform::toQString(u"Version: " + seams_.VersionText + u",  Date: " +
                                                  seams_.VersionDate + u"\n\n" +
                                                  std::u16string(kAuthorLine) + u"\n\n"));
    ui_->Label_eMail->setText(platform::toQString(kAuthorMail));
}

bool vrAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->Label_eMail && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label_eMail_Click();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape ? kEscape : 0;
        if (watched == ui_->Command_OK) {
            Command_OK_KeyDown(key);
            return key == kEscape;
        }
        if (watched == ui_->Command_CheckUpdate) {
            Command_CheckUpdate_KeyDown(key);
            return key == kEscape;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void vrAboutForm::Label_eMail_Click() {
    seams_.shell.open(u"mailto:" + std::u16string(kAuthorMail) + u"?subject=" +
                      std::u16string(console::kProgramTitle));
}

void vrAboutForm::Command_OK_Click() {
    accept();
}

void vrAboutForm::Command_OK_KeyDown(int keyCode) {
    if (keyCode == kEscape) Command_OK_Click();
}

void vrAboutForm::Command_CheckUpdate_KeyDown(int keyCode) {
    if (keyCode == kEscape) Command_OK_Click();
}

std::u16string vrAboutForm::versionsFilePath() const {
    return platform::joinPath(seams_.downloadFolder, u"versions.txt");
}

std::u16string vrAboutForm::questionTitle() const {
    return u"Current version: " + seams_.VersionText;
}

void vrAboutForm::offerHomepage(std::u16string_view text) {
    if (seams_.boxes.show(text, questionTitle(), platform::Buttons::YesNo, platform::Icon::None) ==
        platform::Answer::Yes)
        seams_.shell.open(seams_.webSite + u"/dl/vr.htm");
}

void vrAboutForm::Command_CheckUpdate_Click() {
    // The download lets events run; a second click must not start a second check.
    if (checking_) return;
    checking_ = true;

    QDir().mkdir(platform::toQString(seams_.downloadFolder));
    const std::u16string local = versionsFilePath();
    setCursor(Qt::WaitCursor);
    const platform::DownloadResult downloaded =
        seams_.download.toFile(seams_.webSite + u"/dl/swv.txt", local);
    unsetCursor();

    if (!downloaded.ok) {
        offerHomepage(u"Web Datafile not foud.\n\nGoto the Program Homepage for info ?");
    } else if (!QFileInfo::exists(platform::toQString(local))) {
        offerHomepage(u"Downloaded Datafile not foud.\n\nGoto the Program Homepage for info ?");
    } else {
        std::ifstream in(std::filesystem::path(local), std::ios::binary);
        const VersionVerdict verdict =
            judgeVersions(in, console::kProgramTitle, seams_.VersionText);
        switch (verdict.kind) {
        case VersionVerdict::NoDataForProgram:
            offerHomepage(
                u"No data for this program found.\n\nGoto the Program Homepage for info ?");
            break;
        case VersionVerdict::Newer:
            offerHomepage(u"A newer version  ( " + verdict.published +
                          u" )  is available.\n\nGoto the Program Homepage to download ?");
            break;
        case VersionVerdict::Latest:
            seams_.boxes.show(u"This is the latest version.", questionTitle(),
                              platform::Buttons::Ok, platform::Icon::None);
            break;
        }
    }
    checking_ = false;
}

} // namespace about
