#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>
#include <QString>

namespace platform {

// The settings store in Qt's INI format: per user, in the user's
// configuration folder (on Linux ~/.config/Vireon/Vireon.ini), or in a
// given file. Sections are INI groups.
class QtSettingsStore final : public SettingsStore {
public:
    explicit QtSettingsStore(const QString& application = QStringLiteral("Vireon"));
    // A store in one INI file, for runs that must not touch the user's own.
    static QtSettingsStore inFile(const QString& iniPath);

    std::optional<std::u16string> read(std::u16string_view section,
                                       std::u16string_view key) override;
    bool write(std::u16string_view section, std::u16string_view key,
               std::u16string_view value) override;

    QString fileName() const { return settings_.fileName(); }

private:
    struct InFile {};
    QtSettingsStore(InFile, const QString& iniPath);

    QSettings settings_;
};

} // namespace platform
