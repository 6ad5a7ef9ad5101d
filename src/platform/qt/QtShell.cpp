#include "platform/qt/QtShell.h"

#include "platform/qt/QtText.h"

#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>

namespace platform {

QUrl shellUrl(std::u16string_view target) {
    const QString text = toQString(target);
    // Two letters or more before the colon, so "C:\data.dat" stays a path.
    const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(text).hasMatch()) return QUrl(text);
    return QUrl::fromLocalFile(QDir::fromNativeSeparators(text));
}

bool QtShell::open(std::u16string_view target) {
    return QDesktopServices::openUrl(shellUrl(target));
}

} // namespace platform
