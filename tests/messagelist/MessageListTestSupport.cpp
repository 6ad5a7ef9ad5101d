#include "messagelist/MessageListTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#ifdef __unix__
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/fs.h>
#endif

namespace messagelist_testing {

QStringList entries(const QComboBox& box) {
    QStringList list;
    for (int i = 0; i < box.count(); ++i)
        list << box.itemText(i);
    return list;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    // An empty file reads as an empty, not a null, array.
    if (bytes.isNull()) bytes = QByteArray("");
    return bytes;
}

namespace {

#ifdef __linux__
bool setImmutable(const QString& path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}
#endif

} // namespace

WriteProtection::WriteProtection(QString path) : path_(std::move(path)) {
    QFile::setPermissions(path_,
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
#ifdef __linux__
    if (::geteuid() == 0) immutable_ = setImmutable(path_, true);
#endif
}

WriteProtection::~WriteProtection() {
#ifdef __linux__
    if (immutable_) setImmutable(path_, false);
#endif
    QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool WriteProtection::holds() const {
#ifdef __unix__
    return ::access(QFile::encodeName(path_).constData(), W_OK) != 0;
#else
    return !QFileInfo(path_).isWritable();
#endif
}

#ifdef __unix__
DiskFullAfter::DiskFullAfter(std::uint64_t bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    savedSoft_ = limit.rlim_cur;
    armed_ = true;
    // The write then fails with EFBIG instead of ending the process.
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    holds_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

DiskFullAfter::~DiskFullAfter() {
    if (!armed_) return;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(savedSoft_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler_);
}
#else
DiskFullAfter::DiskFullAfter(std::uint64_t) {}
DiskFullAfter::~DiskFullAfter() = default;
#endif

} // namespace messagelist_testing
