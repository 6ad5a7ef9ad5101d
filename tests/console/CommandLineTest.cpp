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
    // Only without a driver named may a remembered interface stand in.
    EXPECT_EQ(line.driverGiven, std::string(c.name) != "Nothing");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Vireon, ParseCommandLine,
    testing::Values(
        LineCase{"Nothing", {}, {}, Action::Run, "auto", ""},
        LineCase{"EnvironmentOnly", {}, {"VIREON_DRIVER=sim", "VIREON_TRACE=t.jsonl"}, Action::Run, "sim", "t.jsonl"},
        LineCase{"CommandLineWins", {"--driver", "auto", "--trace", "mine.jsonl"},
                 {"VIREON_DRIVER=gpib", "VIREON_TRACE=theirs.jsonl"}, Action::Run, "auto", "mine.jsonl"},
        LineCase{"BadDriver", {"--driver", "usb"}, {}, Action::Fail, "", ""},
        LineCase{"GoodOptionOverridesBadEnvironment", {"--driver", "sim"}, {"VIREON_DRIVER=usb"}, Action::Run, "sim", ""},
        LineCase{"UnknownOption", {"--colour"}, {}, Action::Fail, "", ""},
        LineCase{"StrayArgument", {"file.gmg"}, {}, Action::Fail, "", ""},
        LineCase{"Help", {"--help"}, {}, Action::ShowHelp, "", ""},
        LineCase{"DriverList", {"--driver", "help"}, {}, Action::ShowHelp, "", ""},
        LineCase{"Version", {"--version"}, {}, Action::ShowVersion, "", ""}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(CommandLineTexts, HelpNamesEveryOptionAndAnErrorNamesTheDriverList) {
    const QString help = console::parseCommandLine({"/usr/bin/vireon", "--help"}, {}).text;
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: vireon "))) << help.toStdString();
    for (const char* word : {"--driver", "--trace", "--version", "VIREON_DRIVER", "VIREON_TRACE"})
        EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
    EXPECT_TRUE(console::parseCommandLine({"vireon", "--driver", "usb"}, {})
                    .text.contains(QStringLiteral("--driver help")));
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
