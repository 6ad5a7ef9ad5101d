#include "about/VersionsFile.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using about::FieldReader;
using about::VersionVerdict;

struct NumberCase {
    std::u16string text;
    double number;
};

class VersionNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(VersionNumber, IsTheLeadingDecimalNumber) {
    EXPECT_EQ(about::versionNumber(GetParam().text), GetParam().number)
        << std::string(GetParam().text.begin(), GetParam().text.end());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionNumber,
    testing::Values(
        NumberCase{u"2.0", 2.0}, NumberCase{u" 2.1 ", 2.1}, NumberCase{u"2.10", 2.1},
        NumberCase{u"2 . 1\t5\n", 2.15}, NumberCase{u"2.1.3", 2.1}, NumberCase{u"-1.5", -1.5},
        NumberCase{u"+3", 3.0}, NumberCase{u".5", 0.5}, NumberCase{u"1e2", 100.0},
        NumberCase{u"1E+1x", 10.0}, NumberCase{u"7e", 7.0}, NumberCase{u"7e-", 7.0},
        // A comma is no decimal point, whatever the locale says.
        NumberCase{u"2,5", 2.0}, NumberCase{u"", 0.0}, NumberCase{u".", 0.0}, NumberCase{u"-", 0.0},
        NumberCase{u"v2", 0.0}, NumberCase{u"soon", 0.0}, NumberCase{u"nan", 0.0},
        NumberCase{u"inf", 0.0}, NumberCase{u"\u00bd", 0.0}, NumberCase{u"1e-999", 0.0},
        NumberCase{u"1e999", std::numeric_limits<double>::max()},
        NumberCase{u"-1e999", -std::numeric_limits<double>::max()},
        // Too small or too large however written.
        NumberCase{u"0." + std::u16string(330, u'0') + u"1", 0.0},
        NumberCase{u"-0." + std::u16string(330, u'0') + u"1e5", 0.0},
        NumberCase{u"1" + std::u16string(400, u'0') + u"e-50", std::numeric_limits<double>::max()},
        NumberCase{u"0.001e99999999999999999999", std::numeric_limits<double>::max()}));

std::vector<std::u16string> fieldsOf(const std::string& text) {
    std::istringstream in(text);
    FieldReader reader(in);
    std::vector<std::u16string> fields;
    while (auto field = reader.next())
        fields.push_back(*field);
    return fields;
}

struct FieldCase {
    std::string text;
    std::vector<std::u16string> fields;
};

class Fields : public testing::TestWithParam<FieldCase> {};

TEST_P(Fields, SplitAtCommasAndLineEnds) {
    EXPECT_EQ(fieldsOf(GetParam().text), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Files, Fields,
                         testing::Values(FieldCase{"", {}}, FieldCase{"one", {u"one"}},
                                         FieldCase{"a,b\nc\r\nd", {u"a", u"b", u"c", u"d"}},
                                         FieldCase{"  a ,  b", {u"a ", u"b"}},
                                         FieldCase{"\"x, y\" , z", {u"x, y", u"z"}},
                                         FieldCase{"\"open, to the end", {u"open, to the end"}},
                                         FieldCase{"a,,b", {u"a", u"", u"b"}},
                                         FieldCase{"\"q\"tail,next", {u"q", u"next"}},
                                         FieldCase{
                                             std::string("\xe9t\xe9\0,\xff", 6),
                                             {std::u16string(u"\u00e9t\u00e9\0", 4), u"\u00ff"}}));

TEST(Fields, AFieldWithoutEndIsKeptOnlyToItsLimit) {
    std::string huge(FieldReader::kMaxField * 3, 'x');
    huge += ",Vireon: 3";
    const std::vector<std::u16string> fields = fieldsOf(huge);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].size(), FieldReader::kMaxField);
    EXPECT_EQ(fields[1], u"Vireon: 3");
}

struct VerdictCase {
    std::string file;
    std::u16string current;
    VersionVerdict::Kind kind;
    std::u16string published;
};

class Verdicts : public testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, FollowTheFirstFieldNamingTheProgram) {
    std::istringstream in(GetParam().file);
    const VersionVerdict verdict = about::judgeVersions(in, u"Vireon", GetParam().current);
    EXPECT_EQ(verdict.kind, GetParam().kind);
    EXPECT_EQ(verdict.published, GetParam().published);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Verdicts,
    testing::Values(
        VerdictCase{"Other: 9.9, Vireon: 2.1 \r\nLast: 1", u"2.0", VersionVerdict::Newer, u" 2.1 "},
        VerdictCase{"\"VIREON, the console: 3\"", u"2.0", VersionVerdict::Newer, u" 3"},
        VerdictCase{"vireon:2.10", u"2.9", VersionVerdict::Latest, u"2.10"},
        VerdictCase{"Vireon: 2.0", u"2.0", VersionVerdict::Latest, u" 2.0"},
        VerdictCase{"Vireon: 1.9", u"2.0", VersionVerdict::Latest, u" 1.9"},
        VerdictCase{"Vireon: 2.1.3", u"2.0", VersionVerdict::Newer, u" 2.1.3"},
        VerdictCase{"Vireon: soon", u"2.0", VersionVerdict::Latest, u" soon"},
        VerdictCase{"Vireon", u"2.0", VersionVerdict::Latest, u"Vireon"},
        // A longer name holding the title matches when it comes first.
        VerdictCase{"MyVireonTool: 9, Vireon: 1", u"2.0", VersionVerdict::Newer, u" 9"},
        VerdictCase{"", u"2.0", VersionVerdict::NoDataForProgram, u""},
        VerdictCase{"Other: 1, Another: 2", u"2.0", VersionVerdict::NoDataForProgram, u""},
        VerdictCase{std::string("\x7f"
                                "ELF\x02\x01\x00\x00\xff\xfe,\n\x00",
                                13),
                    u"2.0", VersionVerdict::NoDataForProgram, u""}));

} // namespace
