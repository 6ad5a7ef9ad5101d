#include "about/AboutCommand.h"

#include "about/vrAboutForm.h"
#include "core/ConsoleState.h"
#include "messagelist/EntryBox.h"
#include "platform/qt/QtDownload.h"
#include "platform/qt/QtText.h"

#include <QComboBox>

#include <QDir>
#include <QFileInfo>

namespace about {

std::u16string updateWebSite() {
    QString site = qEnvironmentVariable("VIREON_UPDATE_URL").trimmed();
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site.isEmpty() ? std::u16string(kDefaultWebSite) : platform::fromQString(site);
}

AboutCommand::AboutCommand(QWidget& window, const console::ConsoleState& state,
                           platform::MessageBoxes& boxes, platform::Shell& shell,
                           const console::VersionTexts& version, QComboBox& entryBox,
                           std::unique_ptr<platform::Download> download)
    : window_(window), state_(state), boxes_(boxes), shell_(shell), version_(version),
      entryBox_(entryBox), download_(std::move(download)) {
    if (!download_) download_ = std::make_unique<platform::QtDownload>();
}

AboutCommand::~AboutCommand() = default;

void AboutCommand::About_Click() {
    // The versions file goes beside the data folder, in "vbTemp" below the
    // same per-user folder.
    const QString dataFolder = QDir::fromNativeSeparators(platform::toQString(state_.DataFolder));
    const QString downloadFolder =
        QDir::toNativeSeparators(QFileInfo(dataFolder).absolutePath() + QStringLiteral("/vbTemp"));

    // Loaded afresh each time, as closing unloads it.
    vrAboutForm dialog(AboutSeams{boxes_, shell_, *download_, version_.VersionText,
                                  version_.VersionDate, platform::fromQString(downloadFolder),
                                  updateWebSite()},
                       &window_);
    dialog.exec();
    messagelist::focusEntryBox(entryBox_);
}

} // namespace about
