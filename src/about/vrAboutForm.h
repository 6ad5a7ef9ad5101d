#pragma once

#include "platform/Download.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"

#include <QDialog>

#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class vrAboutForm;
}

namespace about {

// What the About dialog shows and reaches. The seams outlive the dialog.
struct AboutSeams {
    platform::MessageBoxes& boxes;
    platform::Shell& shell;
    platform::Download& download;
    std::u16string VersionText;
    std::u16string VersionDate;
    // The folder the versions data file is downloaded into.
    std::u16string downloadFolder;
    // The program's web site, without a trailing slash.
    std::u16string webSite;
};

inline constexpr std::u16string_view kAuthorMail = u"vireon@vireon.example.org";
inline constexpr std::u16string_view kAuthorLine = u"Written by the Vireon developers, 2019-2024";
inline constexpr std::u16string_view kDefaultWebSite = u"https://vireon.example.org";

// The About dialog: version, date and author, a mail link, and the check for
// a newer version on the program's web site.
class vrAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit vrAboutForm(AboutSeams seams, QWidget* parent = nullptr);
    ~vrAboutForm() override;

    void Form_Load();
    void Label_eMail_Click();
    void Command_OK_Click();
    void Command_CheckUpdate_Click();
    // Esc on either button closes the dialog.
    void Command_OK_KeyDown(int keyCode);
    void Command_CheckUpdate_KeyDown(int keyCode);

    // Where the check puts the versions data file.
    std::u16string versionsFilePath() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks whether to open the homepage, and opens it on Yes.
    void offerHomepage(std::u16string_view text);
    std::u16string questionTitle() const;

    std::unique_ptr<Ui::vrAboutForm> ui_;
    AboutSeams seams_;
    bool checking_ = false;
};

} // namespace about
