#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

class QComboBox;

namespace messagelist_testing {

QStringList entries(const QComboBox& box);

// Whole-file helpers; a file that cannot be read reads as a null array.
bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);

// Makes a file unwritable for this process: its permissions for an ordinary
// user, its immutable flag for root, whom permissions do not stop. Undone
// when it goes, so the temporary folder can be removed.
class WriteProtection {
public:
    explicit WriteProtection(QString path);
    ~WriteProtection();
    WriteProtection(const WriteProtection&) = delete;
    WriteProtection& operator=(const WriteProtection&) = delete;
    // False when this system let the file stay writable.
    bool holds() const;

private:
    QString path_;
    bool immutable_ = false;
};

// Writes that would grow a file beyond `bytes` fail as on a full disk, while
// it lasts (through the process's file size limit).
class DiskFullAfter {
public:
    explicit DiskFullAfter(std::uint64_t bytes);
    ~DiskFullAfter();
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;
    // False where the system has no such limit.
    bool holds() const { return holds_; }

private:
    std::uint64_t savedSoft_ = 0;
    bool holds_ = false;
    bool armed_ = false;
    void (*savedHandler_)(int) = nullptr;
};

} // namespace messagelist_testing
