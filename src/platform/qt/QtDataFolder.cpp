#include "platform/qt/QtDataFolder.h"

#include "platform/qt/QtText.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

namespace {

std::optional<std::u16string> appDataFolder() {
    const QString appData = qEnvironmentVariable("AppData");
    if (appData.isEmpty()) return std::nullopt;
    return fromQString(QDir::toNativeSeparators(appData));
}

} // namespace

std::u16string systemDataFolderPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return dataFolderPath(appDataFolder(), fromQString(QDir::toNativeSeparators(base)));
}

LocalDataFolder systemDataFolder() {
    return LocalDataFolder(systemDataFolderPath(), !appDataFolder().has_value());
}

} // namespace platform
