#include "about/AboutCommand.h"

#include "about/vrAboutForm.h"
#include "console/ManualForm.h"
#include "platform/qt/QtDownload.h"
#include "platform/qt/QtText.h"

#include "ui_ManualForm.h"

#include <QDir>
#include <QFileInfo>

namespace about {

std::u16string updateWebSite() {
    QString site = qEnvironmentVariable("VIREON_UPDATE_URL").trimmed();
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site.isEmpty() ? std::u16string(kDefaultWebSite) : platform::fromQString(site);
}

AboutCommand::AboutCommand(console::ManualForm& form, std::unique_ptr<platform::Download> download)
    : QObject(&form), form_(form), download_(std::move(download)) {
    if (!download_) download_ = std::make_unique<platform::QtDownload>();
}

AboutCommand::~AboutCommand() = default;

void AboutCommand::About_Click() {
    // The versions file goes beside the data folder, in "vbTemp" below the
    // same per-user folder.
    const QString dataFolder =
        QDir::fromNativeSeparators(platform::toQString(form_.state().DataFolder));
    const QString downloadFolder =
        QDir::toNativeSeparators(QFileInfo(dataFolder).absolutePath() + QStringLiteral("/vbTemp"));

    // Loaded afresh each time, as closing unloads it.
    vrAboutForm dialog(AboutSeams{form_.session().boxes, form_.shell(), *download_,
                                  form_.version().VersionText, form_.version().VersionDate,
                                  platform::fromQString(downloadFolder), updateWebSite()},
                       &form_);
    dialog.exec();
    if (form_.ui().SendMessageList->isEnabled()) form_.ui().SendMessageList->setFocus();
}

} // namespace about
