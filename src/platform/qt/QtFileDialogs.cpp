#include "platform/qt/QtFileDialogs.h"

#include "platform/qt/QtText.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace platform {

QString qtNameFilters(std::u16string_view filter) {
    QStringList filters;
    for (const FileFilterEntry& entry : parseFileFilter(filter)) {
        QStringList patterns;
        for (const std::u16string& pattern : entry.patterns)
            patterns << toQString(pattern);
        const QString joined = patterns.join(QLatin1Char(' '));
        QString description = toQString(entry.description);
        // QFileDialog takes the patterns from the parentheses at the end, so
        // a description that already shows them is used as it stands.
        if (!description.endsWith(QLatin1Char('(') + joined + QLatin1Char(')'))) {
            if (!description.isEmpty()) description += QLatin1Char(' ');
            description += QLatin1Char('(') + joined + QLatin1Char(')');
        }
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<FileChoice> QtFileDialogs::choose(const FileDialogRequest& request) {
    QString start = toQString(request.folder);
    if (!request.fileName.empty())
        start = start.isEmpty() ? toQString(request.fileName)
                                : QDir(start).filePath(toQString(request.fileName));
    const QString filters = qtNameFilters(request.filter);
    QWidget* parent = QApplication::activeWindow();
    const QString chosen =
        request.mode == FileDialogMode::Save
            ? QFileDialog::getSaveFileName(parent, toQString(request.title), start, filters)
            : QFileDialog::getOpenFileName(parent, toQString(request.title), start, filters);
    if (chosen.isEmpty()) return std::nullopt;
    const QString native = QDir::toNativeSeparators(chosen);
    return FileChoice{fromQString(native), fromQString(QFileInfo(chosen).fileName())};
}

} // namespace platform
