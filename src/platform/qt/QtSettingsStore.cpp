#include "platform/qt/QtSettingsStore.h"

#include "platform/qt/QtText.h"

#include <QVariant>

namespace platform {

namespace {

QString settingsKey(std::u16string_view section, std::u16string_view key) {
    return toQString(section) + QLatin1Char('/') + toQString(key);
}

} // namespace

QtSettingsStore::QtSettingsStore(const QString& application)
    : settings_(QSettings::IniFormat, QSettings::UserScope, application, application) {}

QtSettingsStore::QtSettingsStore(InFile, const QString& iniPath)
    : settings_(iniPath, QSettings::IniFormat) {}

QtSettingsStore QtSettingsStore::inFile(const QString& iniPath) {
    return QtSettingsStore(InFile{}, iniPath);
}

std::optional<std::u16string> QtSettingsStore::read(std::u16string_view section,
                                                    std::u16string_view key) {
    const QVariant value = settings_.value(settingsKey(section, key));
    // A hand-edited value may parse as a list or a typed value; only plain
    // text is ours.
    if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
    return fromQString(value.toString());
}

bool QtSettingsStore::write(std::u16string_view section, std::u16string_view key,
                            std::u16string_view value) {
    settings_.setValue(settingsKey(section, key), toQString(value));
    settings_.sync();
    return settings_.status() == QSettings::NoError;
}

} // namespace platform
