#pragma once

#include <QByteArray>
#include <QCollator>
#include <QString>
#include <QStringList>

namespace messagelist {

struct FileRead {
    enum class Status { Read, Missing, CannotOpen };
    Status status = Status::CannotOpen;
    QByteArray bytes;
    // Why the file could not be read, in the system's words.
    QString error;
};

// The whole content of a file. A folder or a device in the file's place
// cannot be opened as a message list.
FileRead readWholeFile(const QString& path);

// Writes the new content completely beside the file and only then puts it in
// the file's place, so a failure (full disk, write protection, a folder in
// the way) leaves the old file whole. Returns an empty text on success,
// otherwise why it failed.
QString replaceFile(const QString& path, const QByteArray& bytes);

// The list sorted for the operator: letter case ignored, the collator's
// locale order, duplicates kept in list order, every "<Help>" dropped and one
// put first.
QStringList sortedMessageList(const QStringList& entries, const QCollator& collator);

// The folder a chosen file lies in, in the platform's notation.
QString folderOf(const QString& path);

} // namespace messagelist
