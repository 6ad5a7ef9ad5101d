// What every back end promises the binding, checked over each one that can
// run on this machine: the simulated bench, and the GPIB library back end
// driving the bench through the fake vendor library it loads.

#include "bus/Driver.h"
#include "bus/RecordedBenches.h"
#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/SimulatedBus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using bus::Addr4882;
using testing::AnyOf;

namespace fs = std::filesystem;

struct BackEnd {
    const char* name;
    // A fresh back end on the default bench, or null with the reason.
    std::unique_ptr<bus::Driver> (*make)(std::string& error);
};

void PrintTo(const BackEnd& backEnd, std::ostream* os) {
    *os << backEnd.name;
}

std::unique_ptr<bus::Driver> simulatedBench(std::string&) {
    return bus::SimulatedBus::defaultBench();
}

#ifndef _WIN32
std::unique_ptr<bus::Driver> fakeVendorLibrary(std::string& error) {
    bus::GpibLoadResult loaded = bus::GpibLibrary::load(VIREON_FAKEGPIB_PATH);
    error = loaded.error;
    return std::move(loaded.driver);
}
#endif

constexpr std::int32_t kBoard = 0;
constexpr std::int32_t kMultimeter = 5;
constexpr std::int32_t kOlderInstrument = 9;
constexpr std::int32_t kScope = 22;
constexpr std::int32_t kNobody = 17;
constexpr std::int32_t kUnset = 0x5A5A5A5A; // no driver would publish this

class DriverContract : public testing::TestWithParam<BackEnd> {
protected:
    void SetUp() override {
        std::string error;
        driver_ = GetParam().make(error);
        ASSERT_NE(driver_, nullptr) << error;
        ASSERT_EQ(driver().RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }

    bus::Driver& driver() { return *driver_; }

    std::int32_t open(std::int32_t pad) {
        const std::int32_t ud = driver().ibdev(kBoard, pad, 0, bus::T1s, 1, 0);
        EXPECT_GT(ud, 0) << "ibdev for address " << pad;
        EXPECT_EQ(sta & bus::ERR, 0) << "ibdev for address " << pad;
        return ud;
    }

    void write(std::int32_t ud, const std::string& text) {
        driver().ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
        ASSERT_EQ(sta & bus::ERR, 0) << "writing " << text << ", iberr " << err;
        ASSERT_EQ(cntl, static_cast<std::int32_t>(text.size()));
    }

    // Reads chunk by chunk up to END. Every chunk but the last must come full
    // and without END.
    std::string readAll(std::int32_t ud, std::int32_t chunk) {
        std::string answer;
        for (int reads = 0; reads < 4096; ++reads) {
            std::string buffer(static_cast<std::size_t>(chunk), '\0');
            const std::int32_t status = driver().ibrd(ud, buffer.data(), chunk);
            EXPECT_EQ(status, sta);
            EXPECT_EQ(sta & bus::ERR, 0) << "iberr " << err << " after " << answer.size();
            if (sta & bus::ERR) return answer;
            EXPECT_GE(cntl, 0);
            EXPECT_LE(cntl, chunk);
            answer.append(buffer, 0, static_cast<std::size_t>(cntl));
            if (sta & bus::END) return answer;
            EXPECT_EQ(cntl, chunk) << "a short chunk must end the answer";
        }
        ADD_FAILURE() << "no END after " << answer.size() << " bytes";
        return answer;
    }

    std::string query(std::int32_t ud, const std::string& command, std::int32_t chunk = 512) {
        write(ud, command);
        return readAll(ud, chunk);
    }

    std::int32_t sta = kUnset;
    std::int32_t err = kUnset;
    std::int32_t cnt = kUnset;
    std::int32_t cntl = kUnset;

private:
    std::unique_ptr<bus::Driver> driver_;
};

TEST_P(DriverContract, RegistrationResultCodes) {
    std::int32_t other[4] = {};
    EXPECT_EQ(driver().RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 1);
    EXPECT_THAT(driver().RegisterGpibGlobalsForThread(&other[0], &other[1], &other[2], &other[3]),
                AnyOf(2, 3));
    EXPECT_EQ(driver().UnregisterGpibGlobalsForThread(), 0);
    EXPECT_EQ(driver().RegisterGpibGlobalsForThread(&other[0], &other[1], &other[2], &other[3]), 0);
    EXPECT_EQ(driver().UnregisterGpibGlobalsForThread(), 0);
    EXPECT_EQ(driver().RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
}

TEST_P(DriverContract, EveryCallLeavesItsOutcomeInTheRegisteredVariables) {
    const std::int32_t ud = open(kMultimeter);
    const std::int32_t absent = open(kNobody);
    char spr[2] = {};
    std::int32_t value = 0;
    std::array<Addr4882, 3> probe = {kMultimeter, kScope, bus::NOADDR};
    std::array<Addr4882, 3> found = {};
    const std::string idn = "*IDN?\n";
    std::string buffer(512, '\0');

    struct Call {
        const char* name;
        std::function<std::int32_t()> run; // the status word it returns, or kUnset
        std::int32_t status;               // ERR expected?
        std::int32_t error;                // iberr when ERR is expected
        std::int32_t count = -1;           // ibcntl when it matters
    };
    const std::vector<Call> calls = {
        {"SendIFC",
         [&] {
             driver().SendIFC(kBoard);
             return kUnset;
         },
         0, 0},
        {"ibsre", [&] { return driver().ibsre(kBoard, 1); }, 0, 0},
        {"FindLstn",
         [&] {
             driver().FindLstn(kBoard, probe.data(), found.data(), 2);
             return kUnset;
         },
         0, 0, 2},
        {"ibtmo", [&] { return driver().ibtmo(ud, bus::T3s); }, 0, 0},
        {"ibask", [&] { return driver().ibask(ud, bus::IbaTMO, &value); }, 0, 0},
        {"ibwrt", [&] { return driver().ibwrt(ud, idn.data(), 6); }, 0, 0, 6},
        {"ibrd", [&] { return driver().ibrd(ud, buffer.data(), 512); }, 0, 0},
        {"ibrd nothing pending", [&] { return driver().ibrd(ud, buffer.data(), 512); }, bus::ERR,
         bus::EABO, 0},
        {"ibwrt to nobody", [&] { return driver().ibwrt(absent, idn.data(), 6); }, bus::ERR,
         bus::ENOL},
        {"ibrsp", [&] { return driver().ibrsp(ud, spr); }, 0, 0},
        {"DevClear",
         [&] {
             driver().DevClear(kBoard, kMultimeter);
             return kUnset;
         },
         0, 0},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        sta = err = cnt = cntl = kUnset;
        const std::int32_t returned = call.run();
        EXPECT_NE(sta, kUnset);
        EXPECT_NE(cntl, kUnset);
        if (returned != kUnset) {
            EXPECT_EQ(returned, sta);
        }
        EXPECT_EQ(sta & bus::ERR, call.status);
        if (call.status & bus::ERR) {
            EXPECT_EQ(err, call.error);
        }
        if (call.count >= 0) {
            EXPECT_EQ(cntl, call.count);
        }
    }
}

TEST_P(DriverContract, StatusGoesOnlyToTheCallingThreadsVariables) {
    const std::int32_t absent = open(kNobody);
    sta = err = cnt = cntl = kUnset;

    std::int32_t theirs[4] = {kUnset, kUnset, kUnset, kUnset};
    std::int32_t registered = -1;
    std::thread([&] {
        registered =
            driver().RegisterGpibGlobalsForThread(&theirs[0], &theirs[1], &theirs[2], &theirs[3]);
        driver().ibwrt(absent, "x", 1);
        driver().UnregisterGpibGlobalsForThread();
    }).join();
    EXPECT_EQ(registered, 0) << "each thread registers on its own";
    EXPECT_EQ(theirs[0] & bus::ERR, bus::ERR);
    EXPECT_EQ(theirs[1], bus::ENOL);

    std::thread([&] { driver().ibwrt(absent, "x", 1); }).join();
    EXPECT_EQ(sta, kUnset) << "other threads' calls never reach this thread's variables";
    EXPECT_EQ(err, kUnset);
    EXPECT_EQ(cntl, kUnset);
}

TEST_P(DriverContract, InterfaceClearAndRemoteEnable) {
    driver().SendIFC(kBoard);
    EXPECT_EQ(sta & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(driver().ibsre(kBoard, 1) & bus::ERR, 0) << "iberr " << err;
}

TEST_P(DriverContract, FindLstnReportsTheBenchInProbeOrder) {
    std::vector<Addr4882> probe;
    for (Addr4882 pad = 30; pad >= 1; --pad)
        probe.push_back(pad);
    probe.push_back(bus::NOADDR);
    std::array<Addr4882, 16> found;
    found.fill(0);

    driver().FindLstn(kBoard, probe.data(), found.data(), 15);
    EXPECT_EQ(sta & bus::ERR, 0) << "iberr " << err;
    ASSERT_EQ(cntl, 3);
    EXPECT_EQ(found[0], kScope);
    EXPECT_EQ(found[1], kOlderInstrument);
    EXPECT_EQ(found[2], kMultimeter);
}

TEST_P(DriverContract, DescriptorsAreNonZeroAndDistinct) {
    const std::int32_t a = open(kMultimeter);
    const std::int32_t b = open(kScope);
    EXPECT_NE(a, b);
}

TEST_P(DriverContract, TimeOutSetIsTimeOutAsked) {
    const std::int32_t ud = open(kMultimeter);
    for (const std::int32_t code : {bus::T300ms, bus::T1s, bus::T3s, bus::T10s, bus::T100s}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(driver().ibtmo(ud, code) & bus::ERR, 0);
        std::int32_t value = -1;
        EXPECT_EQ(driver().ibask(ud, bus::IbaTMO, &value) & bus::ERR, 0);
        EXPECT_EQ(value, code);
    }
}

TEST_P(DriverContract, IdentificationReadInSmallChunksAddsUpToTheWholeAnswer) {
    const std::int32_t ud = open(kMultimeter);
    const std::string whole = query(ud, "*IDN?\n");
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(whole.back(), '\n');
    for (const std::int32_t chunk : {1, 3, 7, static_cast<std::int32_t>(whole.size())}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(query(ud, "*IDN?\n", chunk), whole);
    }
}

TEST_P(DriverContract, AddressChangedWithIbpadTalksToTheOtherInstrument) {
    const std::int32_t ud = open(kMultimeter);
    const std::string multimeter = query(ud, "*IDN?\n");
    EXPECT_EQ(driver().ibpad(ud, kScope) & bus::ERR, 0);
    const std::string scope = query(ud, "*IDN?\n");
    EXPECT_FALSE(scope.empty());
    EXPECT_NE(scope, multimeter);
}

TEST_P(DriverContract, ReadWithNothingPendingTimesOut) {
    const std::int32_t ud = open(kMultimeter);
    ASSERT_EQ(driver().ibtmo(ud, bus::T300ms) & bus::ERR, 0);
    char buffer[64];
    const std::int32_t status = driver().ibrd(ud, buffer, sizeof buffer);
    EXPECT_EQ(status & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
    EXPECT_EQ(status & bus::END, 0);
    EXPECT_EQ(cntl, 0);
}

TEST_P(DriverContract, WriteToAnAddressWithoutDeviceFindsNoListener) {
    const std::int32_t ud = open(kNobody);
    const std::int32_t status = driver().ibwrt(ud, "*IDN?\n", 6);
    EXPECT_EQ(status & bus::ERR, bus::ERR);
    EXPECT_EQ(err, bus::ENOL);
}

TEST_P(DriverContract, SerialPollShowsAPendingAnswer) {
    constexpr unsigned char MAV = 0x10;
    const std::int32_t ud = open(kMultimeter);
    char spr[2] = {};
    ASSERT_EQ(driver().ibrsp(ud, spr) & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(static_cast<unsigned char>(spr[0]) & MAV, 0);
    write(ud, "*IDN?\n");
    ASSERT_EQ(driver().ibrsp(ud, spr) & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(static_cast<unsigned char>(spr[0]) & MAV, MAV);
}

TEST_P(DriverContract, DeviceClearDropsThePendingAnswer) {
    const std::int32_t ud = open(kMultimeter);
    ASSERT_EQ(driver().ibtmo(ud, bus::T300ms) & bus::ERR, 0);
    write(ud, "*IDN?\n");
    driver().DevClear(kBoard, kMultimeter);
    EXPECT_EQ(sta & bus::ERR, 0) << "iberr " << err;
    char buffer[64];
    EXPECT_EQ(driver().ibrd(ud, buffer, sizeof buffer) & bus::TIMO, bus::TIMO);
    EXPECT_FALSE(query(ud, "*IDN?\n").empty()) << "the device still answers afterwards";
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The oscilloscope's binary record holds NUL, CR, LF and 0xFF among its bytes:
// sent from a file of commands and received into a file, every byte arrives
// as a memory read of the same record gets it.
TEST_P(DriverContract, FilesMoveBinaryDataByteForByte) {
    // The build's own folder, so builds testing side by side never share a file.
    const fs::path folder = VIREON_FAKEGPIB_DIR;
    const std::string stem = "contract-" + std::string(GetParam().name);
    const fs::path commands = folder / (stem + "-commands.txt");
    const fs::path record = folder / (stem + "-record.bin");
    const std::string commandText = "DAT:SOU CH1\nDAT:ENC RIB\nDAT:STAR 1\nDAT:STOP 2500\nCURV?\n";
    std::ofstream(commands, std::ios::binary) << commandText;

    const std::int32_t ud = open(kScope);
    EXPECT_EQ(driver().ibwrtfA(ud, commands.string().c_str()) & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(cntl, static_cast<std::int32_t>(commandText.size()));
    const std::int32_t status = driver().ibrdfA(ud, record.string().c_str());
    EXPECT_EQ(status & (bus::ERR | bus::END), bus::END) << "iberr " << err;
    const std::int32_t received = cntl;

    const std::string expected = query(ud, "CURV?\n", 512);
    const std::string got = contents(record);
    fs::remove(commands);
    fs::remove(record);

    ASSERT_GT(expected.size(), 2500u);
    for (const char c : {'\0', '\r', '\n', '\xFF'})
        EXPECT_NE(expected.find(c, 8), std::string::npos) << "byte " << int(c) << " not in record";
    EXPECT_EQ(received, static_cast<std::int32_t>(expected.size()));
    EXPECT_TRUE(got == expected) << "file of " << got.size() << " bytes differs from the "
                                 << expected.size() << " bytes read";
}

INSTANTIATE_TEST_SUITE_P(BackEnds, DriverContract,
                         testing::Values(
                             BackEnd{"SimulatedBench", &simulatedBench},
                             BackEnd{"ReplayBench", &recordedReplayBench},
                             BackEnd { "YamlBench", &recordedYamlBench }
#ifndef _WIN32
                             // The fake imitates linux-gpib; on Windows the
                             // back end binds NI's names.
                             ,
                             BackEnd{"FakeVendorLibrary", &fakeVendorLibrary}
#endif
                             ),
                         [](const testing::TestParamInfo<BackEnd>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
