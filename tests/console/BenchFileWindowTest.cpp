#include "bus/drivers/BenchFile.h"
#include "console/ConsoleHarness.h"

#include <gtest/gtest.h>

namespace {

using console_testing::BenchConsole;
using console_testing::line;

// A bench from a pyvisa-sim file runs the whole console: its listeners fill
// the address buttons, a property answers through the send cycle, and Id All
// reaches every instrument.
TEST(BenchFileWindow, TheFileDefinedInstrumentsAnswerThroughTheWindow) {
    bus::BenchLoad bench = bus::loadBenchFile(VIREON_TEST_DATA_DIR "/bench.yaml");
    ASSERT_TRUE(bench.bus) << bench.error;
    BenchConsole c(std::move(bench.bus), 0);
    EXPECT_EQ(c.address(0)->text(), QStringLiteral("3"));
    EXPECT_EQ(c.address(1)->text(), QStringLiteral("12"));

    c.send(QStringLiteral("VOLT 12.5"));
    c.send(QStringLiteral("VOLT?"));
    EXPECT_EQ(c.view(), line(3, u"12.500"));

    c.check("vrIDN")->setChecked(true);
    c.check("vrID")->setChecked(false);
    c.button("IdAll")->click();
    EXPECT_TRUE(c.view().starts_with(line(3, u"Vireon Sim,PS-30,SN000003,0.9")));
}

} // namespace
