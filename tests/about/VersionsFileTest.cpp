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
    const char* name;
    std::u16string text;
    double number;
};

class VersionNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(VersionNumber, IsTheLeadingDecimalNumber) {
    EXPECT_EQ(about::versionNumber(GetParam().text), GetParam().number);
}

constexpr double kMax = std::numeric_limits<double>::max();

// clang-format off
const NumberCase kNumbers[] = {
    {"Plain", u"2.0", 2.0}, {"OuterSpaces", u" 2.1 ", 2.1}, {"TrailingZero", u"2.10", 2.1},
    {"BlanksInside", u"2 . 1\t5\n", 2.15}, {"SecondPoint", u"2.1.3", 2.1},
    {"Negative", u"-1.5", -1.5}, {"Plus", u"+3", 3.0}, {"LeadingPoint", u".5", 0.5},
    {"Exponent", u"1e2", 100.0}, {"SignedExponentThenLetter", u"1E+1x", 10.0},
    {"BareE", u"7e", 7.0}, {"BareEMinus", u"7e-", 7.0},
    // A comma is no decimal point, whatever the locale says.
    {"Comma", u"2,5", 2.0}, {"Empty", u"", 0.0}, {"PointAlone", u".", 0.0},
    {"MinusAlone", u"-", 0.0}, {"LetterFirst", u"v2", 0.0}, {"Word", u"soon", 0.0},
    {"Nan", u"nan", 0.0}, {"Inf", u"inf", 0.0},
    {"VulgarHalf", u"\u00bd", 0.0}, {"Underflow", u"1e-999", 0.0}, {"Overflow", u"1e999", kMax},
    {"NegativeOverflow", u"-1e999", -kMax},
    // Too small or too large however written.
    {"LongUnderflow", u"0." + std::u16string(330, u'0') + u"1", 0.0},
    {"LongUnderflowWithExponent", u"-0." + std::u16string(330, u'0') + u"1e5", 0.0},
    {"LongOverflowWithExponent", u"1" + std::u16string(400, u'0') + u"e-50", kMax},
    {"HugeExponent", u"0.001e99999999999999999999", kMax}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Texts, VersionNumber, testing::ValuesIn(kNumbers),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<std::u16string> fieldsOf(const std::string& text) {
    std::istringstream in(text);
    FieldReader reader(in);
    std::vector<std::u16string> fields;
    while (auto field = reader.next())
        fields.push_back(*field);
    return fields;
}

struct FieldCase {
    const char* name;
    std::string text;
    std::vector<std::u16string> fields;
};

class Fields : public testing::TestWithParam<FieldCase> {};

TEST_P(Fields, SplitAtCommasAndLineEnds) {
    EXPECT_EQ(fieldsOf(GetParam().text), GetParam().fields);
}

const FieldCase kFields[] = {{"Empty", "", {}},
                             {"One", "one", {u"one"}},
                             {"CommasAndLineEnds", "a,b\nc\r\nd", {u"a", u"b", u"c", u"d"}},
                             {"LeadingSpacesGo", "  a ,  b", {u"a ", u"b"}},
                             {"QuotedComma", "\"x, y\" , z", {u"x, y", u"z"}},
                             {"QuoteOpenToTheEnd", "\"open, to the end", {u"open, to the end"}},
                             {"EmptyField", "a,,b", {u"a", u"", u"b"}},
                             {"TailAfterQuote", "\"q\"tail,next", {u"q", u"next"}},
                             {"Latin1AndNul",
                              std::string("\xe9t\xe9\0,\xff", 6),
                              {std::u16string(u"\u00e9t\u00e9\0", 4), u"\u00ff"}}};

INSTANTIATE_TEST_SUITE_P(Files, Fields, testing::ValuesIn(kFields),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Fields, AFieldWithoutEndIsKeptOnlyToItsLimit) {
    std::string huge(FieldReader::kMaxField * 3, 'x');
    huge += ",Vireon: 3";
    const std::vector<std::u16string> fields = fieldsOf(huge);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].size(), FieldReader::kMaxField);
    EXPECT_EQ(fields[1], u"Vireon: 3");
}

struct VerdictCase {
    const char* name;
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

using enum VersionVerdict::Kind;

const VerdictCase kVerdicts[] = {
    {"AmongOthers", "Other: 9.9, Vireon: 2.1 \r\nLast: 1", u"2.0", Newer, u" 2.1 "},
    {"QuotedAnyCase", "\"VIREON, the console: 3\"", u"2.0", Newer, u" 3"},
    {"LowerCaseReadAsDecimal", "vireon:2.10", u"2.9", Latest, u"2.10"},
    {"Same", "Vireon: 2.0", u"2.0", Latest, u" 2.0"},
    {"Older", "Vireon: 1.9", u"2.0", Latest, u" 1.9"},
    {"NameAlone", "Vireon", u"2.0", Latest, u"Vireon"},
    // A longer name holding the title matches when it comes first.
    {"LongerNameFirst", "MyVireonTool: 9, Vireon: 1", u"2.0", Newer, u" 9"},
    {"EmptyFile", "", u"2.0", NoDataForProgram, u""},
    {"OtherProgramsOnly", "Other: 1, Another: 2", u"2.0", NoDataForProgram, u""},
    {"Binary", std::string("\x7f\x45LF\x02\x01\x00\x00\xff\xfe,\n\x00", 13), u"2.0",
     NoDataForProgram, u""}};

INSTANTIATE_TEST_SUITE_P(Files, Verdicts, testing::ValuesIn(kVerdicts),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
