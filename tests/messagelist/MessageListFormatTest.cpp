#include "messagelist/MessageListFormat.h"
#include "messagelist/MessageListFiles.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#ifdef __unix__
#include <sys/resource.h>
#endif

namespace {

using messagelist::formatMessageList;
using messagelist::parseMessageList;

TEST(ParseMessageList, CrOrCrLfEndsALineLfAloneDoesNotAndOnlySpacesAreTrimmed) {
    const std::pair<std::string, QStringList> cases[] = {
        {"", {}},
        {"A\r\nB\rC\nD\r\n\r", {"A", "B", "C\nD", ""}},
        {"A\r\r\nB", {"A", "", "B"}},
        {"A\r\n\nB\r\n", {"A", "\nB"}},
        {"\r\n\r\nX\r\n\r\n", {"", "", "X", ""}},
        {"  A  B  \r\n\tT\t\r\n   \r\n", {"A  B", "\tT\t", ""}},
        {"<Help>\r\nX\r\nX", {"<Help>", "X", "X"}},
        {"\x80\xE9\x81", {QString::fromUtf8("\xE2\x82\xAC\xC3\xA9\xC2\x81")}}};
    for (const auto& [bytes, entries] : cases) {
        QStringList parsed;
        for (const std::u16string& entry : parseMessageList(bytes).entries)
            parsed << QString::fromStdU16String(entry);
        EXPECT_EQ(parsed, entries) << bytes;
    }
}

TEST(FormatMessageList, WritesEachEntryButHelpTrimmedOnACrLfLineInTheCodePage) {
    const std::pair<std::vector<std::u16string>, std::string> cases[] = {
        {{u"<Help>"}, ""},
        {messagelist::defaultMessageList(), "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n"},
        {{u"<Help>", u"A", u"<Help>", u"<HELP>"}, "A\r\n<HELP>\r\n"},
        {{u" A ", u"", u"   ", u"A"}, "A\r\n\r\n\r\nA\r\n"},
        {{u"\u20AC\u00E9\u03A9"}, "\x80\xE9?\r\n"}};
    for (const auto& [entries, bytes] : cases)
        EXPECT_EQ(formatMessageList(entries), bytes);
}

// Every byte value but CR, on lines that neither start nor end in a space.
TEST(MessageListFormat, AFileWithEveryByteButCrRoundTripsByteForByte) {
    std::string file = "\r\n";
    for (int b = 0; b < 256; ++b)
        if (b != '\r') file += std::string("<") + static_cast<char>(b) + ">\r\n";
    EXPECT_EQ(formatMessageList(parseMessageList(file).entries), file);
}

TEST(MessageListFormat, AFileLongerThanTheListStopsAtItsLimit) {
    std::string file;
    for (std::size_t i = 0; i < messagelist::kMaxFileEntries; ++i)
        file += "L" + std::to_string(i) + "\r\n";
    EXPECT_FALSE(parseMessageList(file).truncated);
    const auto parsed = parseMessageList(file + "X");
    EXPECT_TRUE(parsed.truncated);
    ASSERT_EQ(parsed.entries.size(), messagelist::kMaxFileEntries);
    EXPECT_EQ(parsed.entries.back(), u"L32765");
}

TEST(SortedMessageList, IgnoresCaseKeepsDuplicatesInOrderAndPutsOneHelpFirst) {
    const QCollator english{QLocale(QLocale::English, QLocale::UnitedStates)};
    const std::pair<QStringList, QStringList> cases[] = {
        {{"<Help>", "set?", "*IDN?", "SET?", "<Help>"}, {"<Help>", "*IDN?", "set?", "SET?"}},
        {{"b", "2", "*CLS", "A", "10", "", "<help>"},
         {"<Help>", "", "*CLS", "<help>", "10", "2", "A", "b"}},
        {{}, {"<Help>"}}};
    for (const auto& [entries, sorted] : cases)
        EXPECT_EQ(messagelist::sortedMessageList(entries, english), sorted);
}

TEST(MessageListFolder, IsTheFilesRealFolderEvenWhenItsNameHoldsTheFileName) {
    const QString folder = QDir::toNativeSeparators(QDir::tempPath() + "/Message.gmg");
    EXPECT_EQ(messagelist::folderOf(folder + QDir::separator() + "Message.gmg"), folder);
}

// Replacing a file, with a short write as on a full disk through the
// process's file size limit.
TEST(MessageListFiles, ReplaceWritesTheWholeFileOrLeavesTheOldOneWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("l.gmg");
    ASSERT_TRUE(messagelist::replaceFile(path, QByteArray(9000, 'o')).isEmpty());
    ASSERT_TRUE(messagelist::replaceFile(path, "kept\r\n").isEmpty());
#ifdef __unix__
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlim_t saved = limit.rlim_cur;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN); // EFBIG instead of the end
    limit.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const QString error = messagelist::replaceFile(path, QByteArray(4096, 'x'));
    limit.rlim_cur = saved;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(error.isEmpty());
#endif
    EXPECT_EQ(messagelist::readWholeFile(path).bytes, "kept\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"l.gmg"});
}

} // namespace
