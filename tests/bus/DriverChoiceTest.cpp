#include "bus/drivers/DriverChoice.h"

#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/TraceDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using bus::DriverKind;

struct ParseCase {
    const char* text;
    std::optional<DriverKind> kind;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ParseDriverKindTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseDriverKindTest, AcceptsTheThreeNamesInAnyCase) {
    EXPECT_EQ(bus::parseDriverKind(GetParam().text), GetParam().kind) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ParseDriverKindTest,
    ::testing::Values(ParseCase{"auto", DriverKind::Auto}, ParseCase{"AUTO", DriverKind::Auto},
                      ParseCase{"sim", DriverKind::Sim}, ParseCase{"Sim", DriverKind::Sim},
                      ParseCase{"gpib", DriverKind::Gpib}, ParseCase{"gPiB", DriverKind::Gpib},
                      ParseCase{"", std::nullopt}, ParseCase{" sim", std::nullopt},
                      ParseCase{"gpib ", std::nullopt}, ParseCase{"simulated", std::nullopt},
                      ParseCase{"au", std::nullopt}));

// The library is not installed on the build machines; where it is, the
// fallback cannot be seen.
std::optional<std::string> libraryLoadError() {
    bus::GpibLoadResult library = bus::GpibLibrary::load();
    if (library.driver) return std::nullopt;
    return library.error;
}

std::string tempTracePath() {
    return ::testing::TempDir() + "vireon_choice_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
           std::to_string(std::random_device{}()) + ".jsonl";
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A driver that answers at all: registration works and a call returns.
void expectWorking(bus::Driver& driver) {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    EXPECT_EQ(driver.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    driver.SendIFC(0);
    EXPECT_EQ(sta & bus::ERR, 0) << "SendIFC failed, iberr " << err;
    EXPECT_EQ(driver.UnregisterGpibGlobalsForThread(), 0);
}

TEST(SelectDriver, SimAlwaysGivesTheBenchAndNothingElse) {
    bus::DriverSelection s = bus::selectDriver(DriverKind::Sim, "");
    ASSERT_NE(s.driver, nullptr);
    EXPECT_TRUE(s.simulated);
    EXPECT_EQ(s.description, "simulated bench");
    EXPECT_TRUE(s.notes.empty());
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(dynamic_cast<bus::TraceDriver*>(s.driver.get()), nullptr);
    expectWorking(*s.driver);
}

TEST(SelectDriver, AutoFallsBackToTheBenchAndSaysWhy) {
    const auto why = libraryLoadError();
    if (!why) GTEST_SKIP() << "a GPIB library loads on this machine, so there is no fallback";
    bus::DriverSelection s = bus::selectDriver(DriverKind::Auto, "");
    ASSERT_NE(s.driver, nullptr);
    EXPECT_TRUE(s.simulated);
    EXPECT_EQ(s.error, "");
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_NE(s.notes[0].find(*why), std::string::npos) << s.notes[0];
    expectWorking(*s.driver);
}

TEST(SelectDriver, GpibWithoutTheLibraryIsAnErrorNamingIt) {
    const auto why = libraryLoadError();
    if (!why) GTEST_SKIP() << "a GPIB library loads on this machine";
    ASSERT_NE(*why, "");
    const std::string trace = tempTracePath();
    bus::DriverSelection s = bus::selectDriver(DriverKind::Gpib, trace);
    EXPECT_EQ(s.driver, nullptr);
    EXPECT_NE(s.error.find(*why), std::string::npos) << s.error;
    EXPECT_TRUE(s.notes.empty());
    // No driver, so no trace file either.
    EXPECT_FALSE(std::ifstream(trace).is_open());
    std::remove(trace.c_str());
}

TEST(SelectDriver, ATracePathWrapsTheDriver) {
    const std::string trace = tempTracePath();
    {
        bus::DriverSelection s = bus::selectDriver(DriverKind::Sim, trace);
        ASSERT_NE(s.driver, nullptr);
        EXPECT_TRUE(s.notes.empty());
        EXPECT_NE(s.description.find(trace), std::string::npos) << s.description;
        auto* traced = dynamic_cast<bus::TraceDriver*>(s.driver.get());
        ASSERT_NE(traced, nullptr);
        EXPECT_EQ(traced->path(), trace);
        expectWorking(*s.driver);
    }
    const std::string text = fileText(trace);
    std::remove(trace.c_str());
    EXPECT_NE(text.find(R"("op":"RegisterGpibGlobalsForThread")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("op":"SendIFC","args":[0],)"), std::string::npos) << text;
}

TEST(SelectDriver, ATraceThatCannotBeOpenedLeavesTheDriverUntracedWithANote) {
    const std::string trace = ::testing::TempDir() + "no-such-folder/trace.jsonl";
    bus::DriverSelection s = bus::selectDriver(DriverKind::Sim, trace);
    ASSERT_NE(s.driver, nullptr);
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(dynamic_cast<bus::TraceDriver*>(s.driver.get()), nullptr);
    EXPECT_EQ(s.description, "simulated bench");
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_EQ(s.notes[0].rfind("trace disabled: ", 0), 0u) << s.notes[0];
    EXPECT_NE(s.notes[0].find(trace), std::string::npos) << s.notes[0];
    expectWorking(*s.driver);
}

TEST(SelectDriver, ALaterTraceWriteFailureReachesTheCaller) {
    if (std::FILE* probe = std::fopen("/dev/full", "ab"))
        std::fclose(probe);
    else
        GTEST_SKIP() << "this system has no /dev/full to fail writes with";
    std::vector<std::string> reports;
    bus::DriverSelection s = bus::selectDriver(
        DriverKind::Sim, "/dev/full", [&](const std::string& text) { reports.push_back(text); });
    ASSERT_NE(s.driver, nullptr);
    expectWorking(*s.driver);
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
