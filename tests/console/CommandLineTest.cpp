#include "console/CommandLine.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

using console::CommandLine;
using Action = CommandLine::Action;

struct LineCase {
    const char* name;
    QStringList arguments;
    QStringList environment; // NAME=value
    Action action;
    const char* driver;
    std::string trace;
};

class ParseCommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(ParseCommandLine, OptionsThenEnvironmentThenDefaults) {
    const LineCase& c = GetParam();
    QProcessEnvironment environment;
    for (const QString& entry : c.environment)
        environment.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
    const CommandLine line =
        console::parseCommandLine(QStringList{QStringLiteral("vireon")} + c.arguments, environment);
    EXPECT_EQ(line.action, c.action) << line.text.toStdString();
    if (c.action != Action::Run) return;
    EXPECT_EQ(line.driver.backEnd->name, c.driver);
    EXPECT_EQ(line.tracePath, c.trace);
}

INSTANTIATE_TEST_SUITE_P(
    Vireon, ParseCommandLine,
    testing::Values(
        LineCase{"Nothing", {}, {}, Action::Run, "auto", ""},
        LineCase{"Sim", {"--driver", "sim"}, {}, Action::Run, "sim", ""},
        LineCase{"GpibAnyCase", {"--driver=GPIB"}, {}, Action::Run, "gpib", ""},
        LineCase{"EnvironmentOnly",
                 {},
                 {"VIREON_DRIVER=sim", "VIREON_TRACE=/tmp/t.jsonl"},
                 Action::Run,
                 "sim",
                 "/tmp/t.jsonl"},
        LineCase{"CommandLineWins",
                 {"--driver", "auto", "--trace", "mine.jsonl"},
                 {"VIREON_DRIVER=gpib", "VIREON_TRACE=theirs.jsonl"},
                 Action::Run,
                 "auto",
                 "mine.jsonl"},
        LineCase{"BadDriver", {"--driver", "usb"}, {}, Action::Fail, "auto", ""},
        LineCase{"BadDriverInEnvironment", {}, {"VIREON_DRIVER=usb"}, Action::Fail, "auto", ""},
        LineCase{"GoodOptionOverridesBadEnvironment",
                 {"--driver", "sim"},
                 {"VIREON_DRIVER=usb"},
                 Action::Run,
                 "sim",
                 ""},
        LineCase{"UnknownOption", {"--colour"}, {}, Action::Fail, "auto", ""},
        LineCase{"StrayArgument", {"file.gmg"}, {}, Action::Fail, "auto", ""},
        LineCase{"MissingValue", {"--trace"}, {}, Action::Fail, "auto", ""},
        LineCase{"Help", {"--help"}, {}, Action::ShowHelp, "auto", ""},
        LineCase{"DriverList", {"--driver", "help"}, {}, Action::ShowHelp, "auto", ""},
        LineCase{"Version", {"--version"}, {}, Action::ShowVersion, "auto", ""}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(CommandLineTexts, VersionAndHelpSayWhatTheyShould) {
    const QProcessEnvironment none;
    EXPECT_EQ(console::parseCommandLine({"vireon", "--version"}, none).text,
              QStringLiteral("Vireon 2.0"));
    const QString help = console::parseCommandLine({"/usr/bin/vireon", "--help"}, none).text;
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: vireon "))) << help.toStdString();
    for (const char* word :
         {"--driver", "--trace", "--help", "--version", "VIREON_DRIVER", "VIREON_TRACE"})
        EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
    const QString bad = console::parseCommandLine({"vireon", "--driver", "usb"}, none).text;
    EXPECT_TRUE(bad.contains(QStringLiteral("usb")));
    EXPECT_TRUE(bad.contains(QStringLiteral("--driver help")));
}

#ifdef VIREON_EXECUTABLE
// The program itself, for what ends before a window: no display needed.
TEST(Program, PrintsItsVersionAndRefusesAnUnknownDriver) {
    QProcess version;
    version.start(QStringLiteral(VIREON_EXECUTABLE), {QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput().trimmed(), QByteArray("Vireon 2.0"));

    QProcess bad;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VIREON_DRIVER"), QStringLiteral("usb"));
    bad.setProcessEnvironment(environment);
    bad.start(QStringLiteral(VIREON_EXECUTABLE), {});
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_NE(bad.exitCode(), 0);
    EXPECT_TRUE(bad.readAllStandardError().contains("usb"));
}
#endif

} // namespace
