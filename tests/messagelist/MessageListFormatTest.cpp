#include "messagelist/MessageListFormat.h"
#include "messagelist/MessageListFiles.h"

#include "platform/Text8.h"

#include <QCollator>
#include <QDir>
#include <QLocale>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using messagelist::formatMessageList;
using messagelist::parseMessageList;
using testing::ElementsAre;
using testing::ElementsAreArray;

std::vector<std::string> utf8Entries(const std::vector<std::u16string>& entries) {
    std::vector<std::string> out;
    for (const std::u16string& entry : entries)
        out.push_back(QString::fromStdU16String(entry).toStdString());
    return out;
}

struct ParseCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries;
};

class ParseMessageList : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseMessageList, ReadsTheLinesAsEntries) {
    const ParseCase& c = GetParam();
    const messagelist::ParsedMessageList parsed = parseMessageList(c.bytes);
    EXPECT_FALSE(parsed.truncated);
    EXPECT_THAT(utf8Entries(parsed.entries), ElementsAreArray(c.entries));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseMessageList,
    testing::Values(
        ParseCase{"EmptyFileHoldsNothing", "", {}},
        ParseCase{"LastLineNeedsNoEnd", "ID?\r\n*IDN?", {"ID?", "*IDN?"}},
        ParseCase{"CrLfIsOneLineEnd", "A\r\nB\r\n", {"A", "B"}},
        ParseCase{"CrAloneEndsALine", "A\rB\r", {"A", "B"}},
        ParseCase{"LfAloneDoesNot", "A\nB\nC\n", {"A\nB\nC\n"}},
        ParseCase{"MixedLineEnds", "A\r\nB\rC\nD\r\n\r", {"A", "B", "C\nD", ""}},
        ParseCase{"CrCrLfGivesAnEmptyLine", "A\r\r\nB", {"A", "", "B"}},
        ParseCase{"LfAfterACrLfStartsTheNextLine", "A\r\n\nB\r\n", {"A", "\nB"}},
        ParseCase{"BlankLinesAreKept", "\r\n\r\nX\r\n\r\n", {"", "", "X", ""}},
        ParseCase{
            "OnlySpacesAreTrimmed", "  MEAS?  \r\n\tTAB\t\r\n   \r\n", {"MEAS?", "\tTAB\t", ""}},
        ParseCase{"SpacesInsideStay", " A  B \r\n", {"A  B"}},
        ParseCase{"HelpInTheFileIsAnOrdinaryEntry", "<Help>\r\n<help>\r\n", {"<Help>", "<help>"}},
        ParseCase{"DuplicatesStay", "SET?\r\nSET?\r\n", {"SET?", "SET?"}},
        ParseCase{
            "HighBytesMapThroughTheCodePage", "\x80\xE9\x81", {"\xE2\x82\xAC\xC3\xA9\xC2\x81"}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

struct FormatCase {
    const char* name;
    std::vector<std::u16string> entries;
    std::string bytes;
};

class FormatMessageList : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatMessageList, WritesEachEntryOnACrLfLine) {
    EXPECT_EQ(formatMessageList(GetParam().entries), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FormatMessageList,
    testing::Values(FormatCase{"OnlyHelpWritesAnEmptyFile", {u"<Help>"}, ""},
                    FormatCase{"DefaultList", messagelist::defaultMessageList(),
                               "ID?\r\n*IDN?\r\nINIT\r\nFAC\r\nSET?\r\n"},
                    FormatCase{"HelpIsNeverWrittenButOtherCaseIs",
                               {u"<Help>", u"A", u"<Help>", u"<HELP>"},
                               "A\r\n<HELP>\r\n"},
                    FormatCase{"SpacesTrimmedBlankLinesKept",
                               {u"<Help>", u"  MEAS?  ", u"", u"   ", u"X"},
                               "MEAS?\r\n\r\n\r\nX\r\n"},
                    FormatCase{"DuplicatesWrittenTwice", {u"SET?", u"SET?"}, "SET?\r\nSET?\r\n"},
                    FormatCase{"CharactersOutsideTheCodePageBecomeQuestionMarks",
                               {u"\u20AC\u00E9\u03A9"},
                               "\x80\xE9?\r\n"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

TEST(MessageListFormat, TheFileWithThreeLinesOfTheDesignReadsAndWritesBack) {
    const auto parsed = parseMessageList("  *RST  \r\n\r\nMEAS?");
    std::vector<std::u16string> list{u"<Help>"};
    list.insert(list.end(), parsed.entries.begin(), parsed.entries.end());
    EXPECT_EQ(formatMessageList(list), "*RST\r\n\r\nMEAS?\r\n");
}

// Every byte value but CR, spread over lines that neither start nor end in a
// space, LF included inside lines (never right after a CR LF it would join).
TEST(MessageListFormat, AFileWithEveryByteButCrRoundTripsByteForByte) {
    std::string file;
    std::string line = "<";
    for (int b = 0; b < 256; ++b) {
        if (b == '\r') continue;
        line += static_cast<char>(b);
        if (line.size() == 40) {
            file += line;
            file += ">\r\n";
            line.resize(1); // the opening '<' stays
        }
    }
    file += line;
    file += ">\r\n";
    file += "\r\n"; // a blank line
    file += "<Help\n>\r\n";

    const auto parsed = parseMessageList(file);
    ASSERT_FALSE(parsed.truncated);
    std::vector<std::u16string> list{u"<Help>"};
    list.insert(list.end(), parsed.entries.begin(), parsed.entries.end());
    EXPECT_EQ(formatMessageList(list), file);
}

TEST(MessageListFormat, LfInsideALineSurvivesARoundTrip) {
    const std::string file = "A\nB\r\n\n\r\nC\n";
    const auto parsed = parseMessageList(file);
    EXPECT_THAT(utf8Entries(parsed.entries), ElementsAre("A\nB", "\n", "C\n"));
    EXPECT_EQ(formatMessageList(parsed.entries), "A\nB\r\n\n\r\nC\n\r\n");
}

TEST(MessageListFormat, BinaryContentIsReadAsText) {
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 37) & 0xFF);
    const auto parsed = parseMessageList(binary);
    std::size_t characters = 0;
    for (const auto& entry : parsed.entries)
        characters += entry.size();
    // Only CR, LF after CR and edge spaces can be gone.
    EXPECT_LE(characters, binary.size());
    EXPECT_GT(parsed.entries.size(), 1u);
}

TEST(MessageListFormat, AVeryLongLineIsOneEntry) {
    const std::string longLine(200000, 'A');
    const auto parsed = parseMessageList(longLine + "\r\nB");
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].size(), longLine.size());
}

TEST(MessageListFormat, AHugeFileStopsAtTheLimitOfTheList) {
    std::string huge;
    for (int i = 0; i < 200000; ++i) {
        huge += 'L';
        huge += std::to_string(i);
        huge += "\r\n";
    }
    const auto parsed = parseMessageList(huge);
    EXPECT_TRUE(parsed.truncated);
    ASSERT_EQ(parsed.entries.size(), messagelist::kMaxFileEntries);
    EXPECT_EQ(parsed.entries.back(), u"L32765");
}

TEST(MessageListFormat, AFileOfExactlyTheLimitIsReadWhole) {
    std::string file;
    for (std::size_t i = 0; i < messagelist::kMaxFileEntries; ++i)
        file += "\r\n";
    const auto parsed = parseMessageList(file);
    EXPECT_FALSE(parsed.truncated);
    EXPECT_EQ(parsed.entries.size(), messagelist::kMaxFileEntries);
    EXPECT_TRUE(parseMessageList(file + "X").truncated);
}

// ---- Sort --------------------------------------------------------------

struct SortCase {
    const char* name;
    QStringList entries;
    QStringList sorted;
};

class SortedMessageList : public testing::TestWithParam<SortCase> {};

TEST_P(SortedMessageList, IgnoresCaseKeepsDuplicatesAndPutsOneHelpFirst) {
    // English collation, so the order does not depend on the test machine.
    const QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
    EXPECT_EQ(messagelist::sortedMessageList(GetParam().entries, collator), GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SortedMessageList,
    testing::Values(SortCase{"DefaultList",
                             {"<Help>", "ID?", "*IDN?", "INIT", "FAC", "SET?"},
                             {"<Help>", "*IDN?", "FAC", "ID?", "INIT", "SET?"}},
                    SortCase{"DuplicatesInOtherCaseStayTogetherInListOrder",
                             {"<Help>", "SET?", "*IDN?", "set?"},
                             {"<Help>", "*IDN?", "SET?", "set?"}},
                    SortCase{"LowerCaseFirstKeepsItsPlace",
                             {"<Help>", "set?", "*IDN?", "SET?"},
                             {"<Help>", "*IDN?", "set?", "SET?"}},
                    SortCase{"AListWithoutHelpGetsOne", {"B", "a"}, {"<Help>", "a", "B"}},
                    SortCase{"EveryHelpIsDroppedButOne",
                             {"<Help>", "X", "<Help>", "<help>"},
                             {"<Help>", "<help>", "X"}},
                    SortCase{"PunctuationBeforeDigitsBeforeLetters",
                             {"b", "2", "*CLS", "A", "10"},
                             {"<Help>", "*CLS", "10", "2", "A", "b"}},
                    SortCase{
                        "EmptyEntriesStay", {"<Help>", "B", "", "A"}, {"<Help>", "", "A", "B"}},
                    SortCase{"EmptyList", {}, {"<Help>"}}),
    [](const testing::TestParamInfo<SortCase>& info) { return info.param.name; });

// ---- The folder of a chosen file ----------------------------------------

TEST(MessageListFolder, IsTheFilesRealFolderEvenWhenItsNameContainsTheFileName) {
    const QString sep = QDir::separator();
    const QString root = QDir::toNativeSeparators(QDir::tempPath());
    EXPECT_EQ(messagelist::folderOf(root + sep + "Message.gmg" + sep + "Message.gmg"),
              root + sep + "Message.gmg");
    EXPECT_EQ(messagelist::folderOf(root + sep + "lists" + sep + "a.gmg"), root + sep + "lists");
}

} // namespace
