#include "bus/drivers/TransferMonitor.h"
#include "bus/DeviceIo.h"
#include "bus/Discovery.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "support/Files.h"
#include "support/ScriptedDriver.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

constexpr std::uint64_t kAnswer = 1'000'000;
constexpr std::uint64_t kStopAt = 100'000;

void fill(std::uint64_t offset, char* dest, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        dest[i] = static_cast<char>((offset + i) * 7 % 251);
}

enum class Transfer { Read, ReceiveFile, SendFile };

// Stopped part-way, each transfer ends with EABO soon after the stop, and
// what it moved up to there is the answer's start, nothing made up. The
// device is quiet again: the next query gets its own answer, not the rest of
// the stopped one (nor a message spoilt by half a file).
class StopPartWay : public ::testing::TestWithParam<Transfer> {};

TEST_P(StopPartWay, EndsWithAnAbortAtTheNextChunk) {
    auto bus = bus::SimulatedBus::defaultBench();
    bus::TransferMonitor monitor(*bus);
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    bus::BusSession s(monitor, boxes, exit);
    bus::FindListeners(s);
    const std::int16_t ud = bus::OpenDevice(s);
    const std::string file = testing_support::scratchFile(".bin");
    const std::u16string path(file.begin(), file.end());
    std::string answer(kAnswer, '\0');
    fill(0, answer.data(), kAnswer);
    if (GetParam() == Transfer::SendFile)
        std::ofstream(file, std::ios::binary) << answer;
    else
        bus->instrument(5)->queueGenerated(kAnswer, fill);
    monitor.stopAfter(kStopAt);
    bus::TransferOutcome outcome;
    if (GetParam() == Transfer::Read) {
        EXPECT_EQ(bus::ReadResponse(s, ud), u"");
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].title, u"I/O Error");
    } else {
        outcome = GetParam() == Transfer::ReceiveFile ? bus::ReceiveFile(s, ud, path)
                                                      : bus::SendFile(s, ud, path);
        EXPECT_TRUE(outcome.failed());
        EXPECT_EQ(outcome.iberr, bus::EABO);
    }
    EXPECT_GE(monitor.bytes(), kStopAt);
    EXPECT_LT(monitor.bytes(), kStopAt + 64 * 1024 + 1) << "the bus went on after the stop";
    if (GetParam() == Transfer::ReceiveFile) {
        const std::string got = testing_support::fileText(file);
        EXPECT_EQ(got.size(), static_cast<std::size_t>(outcome.count));
        EXPECT_EQ(got, answer.substr(0, got.size()));
    }
    std::filesystem::remove(file);

    monitor.reset();
    bus::WriteChecked(s, ud, u"*IDN?\n");
    EXPECT_EQ(bus::ReadResponse(s, ud), u"Vireon Sim,VDM-6500,SN000005,1.04.2");
}

const char* const kTransferNames[] = {"Read", "ReceiveFile", "SendFile"};
INSTANTIATE_TEST_SUITE_P(Transfers, StopPartWay,
                         ::testing::Values(Transfer::Read, Transfer::ReceiveFile,
                                           Transfer::SendFile),
                         [](const auto& info) {
                             return kTransferNames[static_cast<int>(info.param)];
                         });

// Once stopped, reads and file transfers are answered without the bus, each
// followed by a clear of its device that leaves the stopped call's status;
// messages still go out whole.
TEST(TransferMonitor, AfterAStopOnlyWritesReachTheBackEnd) {
    testing_support::ScriptedDriver driver;
    bus::TransferMonitor monitor(driver);
    testing_support::Talk talk(monitor);
    driver.reads = {{"abc"}};
    char buffer[8];
    monitor.ibrd(32, buffer, 8);
    EXPECT_EQ(monitor.bytes(), 3u);

    monitor.requestStop();
    driver.calls.clear();
    talk.write(32, "*RST");
    monitor.ibrd(32, buffer, 8);
    EXPECT_EQ(talk.sta & (bus::ERR | bus::END), bus::ERR);
    EXPECT_EQ(talk.err, bus::EABO);
    EXPECT_EQ(talk.cntl, 0);
    monitor.ibrdfA(32, "x");
    monitor.ibwrtfA(32, "x");
    EXPECT_EQ(driver.calls,
              (std::vector<std::string>{"ibwrt(32,*RST)", "ibclr(32)", "ibclr(32)", "ibclr(32)"}));
    EXPECT_EQ(monitor.bytes(), 7u);
    monitor.reset();
    EXPECT_FALSE(monitor.stopRequested());
}

} // namespace
