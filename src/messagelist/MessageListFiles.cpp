#include "messagelist/MessageListFiles.h"

#include "messagelist/MessageListFormat.h"
#include "platform/qt/QtText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace messagelist {

FileRead readWholeFile(const QString& path) {
    FileRead read;
    const QFileInfo info(path);
    if (!info.exists()) {
        read.status = FileRead::Status::Missing;
        read.error = QStringLiteral("the file does not exist");
        return read;
    }
    if (!info.isFile()) {
        read.error = info.isDir() ? QStringLiteral("a folder stands in its place")
                                  : QStringLiteral("it is not a plain file");
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = file.errorString();
        return read;
    }
    read.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.error = file.errorString();
        read.bytes.clear();
        return read;
    }
    read.status = FileRead::Status::Read;
    return read;
}

QString replaceFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    // Replacing would put a plain file where a folder or device stood.
    if (info.exists() && !info.isFile()) return QStringLiteral("it is not a plain file");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    // A full disk may take part of the content without an error; only a
    // temporary file of the full size may replace the old one.
    const bool whole = file.write(bytes) == bytes.size() && file.flush() &&
                       file.size() == static_cast<qint64>(bytes.size());
    if (!whole) {
        const QString error = file.error() != QFileDevice::NoError
                                  ? file.errorString()
                                  : QStringLiteral("the disk took only part of the file");
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

QStringList sortedMessageList(const QStringList& entries, const QCollator& collator) {
    const QString help = platform::toQString(kHelpEntry);
    QStringList sorted;
    sorted.reserve(entries.size() + 1);
    for (const QString& entry : entries)
        if (entry != help) sorted.push_back(entry);
    QCollator caseless = collator;
    caseless.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(sorted.begin(), sorted.end(), [&](const QString& a, const QString& b) {
        return caseless.compare(a, b) < 0;
    });
    sorted.push_front(help);
    return sorted;
}

QString folderOf(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

} // namespace messagelist
