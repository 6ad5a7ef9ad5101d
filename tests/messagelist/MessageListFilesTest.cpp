#include "messagelist/MessageListFiles.h"
#include "messagelist/MessageListTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using messagelist::FileRead;
using messagelist::readWholeFile;
using messagelist::replaceFile;
using messagelist_testing::readBytes;
using messagelist_testing::writeBytes;

class MessageListFiles : public testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(MessageListFiles, ReplaceWritesTheWholeContent) {
    const QString file = path("list.gmg");
    ASSERT_TRUE(writeBytes(file, "old\r\nlonger old content\r\n"));
    EXPECT_TRUE(replaceFile(file, "new\r\n").isEmpty());
    EXPECT_EQ(readBytes(file), "new\r\n");
    // Nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.gmg"});
}

TEST_F(MessageListFiles, ReadGivesTheBytesAsStored) {
    const QString file = path("list.gmg");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    ASSERT_TRUE(writeBytes(file, all));
    const FileRead read = readWholeFile(file);
    EXPECT_EQ(read.status, FileRead::Status::Read);
    EXPECT_EQ(read.bytes, all);
}

TEST_F(MessageListFiles, AMissingFileIsToldApartFromAnUnreadableOne) {
    EXPECT_EQ(readWholeFile(path("none.gmg")).status, FileRead::Status::Missing);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.gmg"));
    const FileRead folder = readWholeFile(path("folder.gmg"));
    EXPECT_EQ(folder.status, FileRead::Status::CannotOpen);
    EXPECT_FALSE(folder.error.isEmpty());
}

TEST_F(MessageListFiles, DevicesAreNeitherReadNorReplaced) {
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "this system has no /dev/full";
    // Reading /dev/full would never end; replacing it would put a file there.
    EXPECT_EQ(readWholeFile("/dev/full").status, FileRead::Status::CannotOpen);
    EXPECT_FALSE(replaceFile("/dev/full", "x\r\n").isEmpty());
    EXPECT_FALSE(QFileInfo("/dev/full").isFile());
}

TEST_F(MessageListFiles, AFolderInTheFilesPlaceIsReportedAndKept) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("list.gmg/inside"));
    EXPECT_FALSE(replaceFile(path("list.gmg"), "x\r\n").isEmpty());
    EXPECT_TRUE(QFileInfo(path("list.gmg/inside")).isDir());
}

TEST_F(MessageListFiles, AFileInAMissingFolderIsReported) {
    EXPECT_FALSE(replaceFile(path("gone/list.gmg"), "x\r\n").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("gone")));
}

TEST_F(MessageListFiles, AWriteProtectedFileStaysWhole) {
    const QString file = path("list.gmg");
    ASSERT_TRUE(writeBytes(file, "kept\r\n"));
    messagelist_testing::WriteProtection protection(file);
    if (!protection.holds()) GTEST_SKIP() << "this system cannot write-protect a file here";
    EXPECT_FALSE(replaceFile(file, "new\r\n").isEmpty());
    EXPECT_EQ(readBytes(file), "kept\r\n");
}

TEST_F(MessageListFiles, AFullDiskLeavesTheOldFileWhole) {
    const QString file = path("list.gmg");
    ASSERT_TRUE(writeBytes(file, "kept\r\n"));
    QString error;
    {
        messagelist_testing::DiskFullAfter full(16);
        if (!full.holds()) GTEST_SKIP() << "this system has no file size limit";
        error = replaceFile(file, QByteArray(4096, 'x'));
    }
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(file), "kept\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.gmg"});
}

} // namespace
