#include "bus/drivers/DriverChoice.h"

#include "bus/AsciiText.h"

#include "bus/drivers/BenchFile.h"
#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/ReplayBus.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TraceDriver.h"
#include "bus/drivers/VisaBus.h"
#include "bus/drivers/adapter/PlusPlusAdapter.h"
#include "bus/drivers/hislip/HislipClient.h"
#include "bus/drivers/vxi11/Vxi11Client.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace bus {

namespace {

// Takes "rate=N" off the end of a bench's arguments (alone, or after the
// file and a comma): 0 without one, nullopt when N is no rate.
std::optional<std::uint64_t> takeRate(std::string& args) {
    const std::size_t at = args.rfind("rate=");
    if (at == std::string::npos || (at > 0 && args[at - 1] != ',')) return 0;
    const std::string digits = args.substr(at + 5);
    args.erase(at > 0 ? at - 1 : 0);
    if (digits.empty() || digits.size() > 12 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        return std::nullopt;
    const std::uint64_t rate = std::stoull(digits);
    if (rate == 0) return std::nullopt;
    return rate;
}

DriverSelection makeBench(BackEndRequest& request) {
    DriverSelection s;
    s.simulated = true;
    const std::string given = request.args;
    const std::optional<std::uint64_t> rate = takeRate(request.args);
    if (!rate) {
        s.error = given + ": rate= takes a whole number of bytes a second, above 0";
        return s;
    }
    const std::string paced =
        *rate == 0 ? std::string() : ", paced at " + std::to_string(*rate) + " bytes/s";
    if (request.args.empty()) {
        auto bus = SimulatedBus::defaultBench();
        bus->setRate(*rate);
        s.driver = std::move(bus);
        s.description = "simulated bench" + paced;
        return s;
    }
    if (isRecordedTrace(request.args)) {
        s.error =
            request.args + ": a recorded trace is replayed with --driver replay:" + request.args;
        return s;
    }
    if (!endsWithIgnoringCase(request.args, ".yaml") &&
        !endsWithIgnoringCase(request.args, ".yml")) {
        s.error = request.args + ": a bench file ends in .yaml or .yml";
        return s;
    }
    BenchLoad bench = loadBenchFile(request.args);
    s.notes = std::move(bench.notes);
    s.error = std::move(bench.error);
    if (bench.bus) bench.bus->setRate(*rate);
    s.driver = std::move(bench.bus);
    s.description = "simulated bench from " + request.args + paced;
    return s;
}

DriverSelection makeReplay(BackEndRequest& request) {
    DriverSelection s;
    s.simulated = true;
    ReplayLoad trace = loadTrace(request.args);
    s.notes = std::move(trace.notes);
    s.error = std::move(trace.error);
    if (s.error.empty()) {
        auto replay = std::make_unique<ReplayBus>(std::move(trace.recording));
        const ReplayBus* recorded = replay.get();
        s.saveBench = [recorded](const std::string& path) {
            return saveBenchYaml(recorded->recording(), path);
        };
        s.driver = std::move(replay);
    }
    s.description = "replay of " + request.args;
    return s;
}

// The library, or why it cannot be used.
DriverSelection loadGpib(std::string& error) {
    DriverSelection s;
    GpibLoadResult library = GpibLibrary::load();
    error = library.error;
    if (!library.driver) return s;
    s.description = "GPIB library " + library.driver->libraryName();
    s.driver = std::move(library.driver);
    return s;
}

DriverSelection makeGpib(BackEndRequest&) {
    std::string why;
    DriverSelection s = loadGpib(why);
    if (!s.driver) s.error = "GPIB library not available: " + why;
    return s;
}

// Why the board behind a loaded library does not answer an interface clear,
// or "" when it does.
std::string boardSilence(Driver& driver) {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    if (driver.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl) != 0)
        return "it refuses to report status to this program";
    driver.SendIFC(0);
    driver.UnregisterGpibGlobalsForThread();
    if ((sta & ERR) == 0) return {};
    std::string why =
        "its board does not answer (interface clear failed, error " + std::to_string(err) + ")";
    const std::string advice = driver.startupAdvice(err, cntl);
    return advice.empty() ? why : why + ": " + advice;
}

// A library counts only when its board answers: an installed library with no
// board behind it must not keep the console from the simulated bench.
DriverSelection makeAuto(BackEndRequest& request) {
    std::string why;
    DriverSelection s = loadGpib(why);
    if (s.driver) {
        why = boardSilence(*s.driver);
        if (why.empty()) return s;
        why = s.description + " loaded, but " + why;
    }
    s = makeBench(request);
    s.notes.push_back("GPIB library not used: " + why + "; running on the simulated bench");
    return s;
}

DriverSelection makeVisa(BackEndRequest& request) {
    DriverSelection s;
    VisaLoadResult library = VisaBus::load(request.args);
    if (!library.driver) {
        s.error = "VISA library not available: " + library.error;
        return s;
    }
    s.description = "VISA library " + library.driver->libraryName() + " at " +
                    (request.args.empty() ? std::string("GPIB0") : request.args);
    s.driver = std::move(library.driver);
    return s;
}

DriverSelection makeAdapter(const adapter::AdapterKind& kind, BackEndRequest& request) {
    DriverSelection s;
    auto driver = adapter::PlusPlusAdapter::open(kind, request.args, s.error);
    if (driver) s.description = driver->description() + " (" + driver->version() + ")";
    s.driver = std::move(driver);
    return s;
}

DriverSelection makePrologix(BackEndRequest& request) {
    return makeAdapter(adapter::kPrologix, request);
}

DriverSelection makeAr488(BackEndRequest& request) {
    return makeAdapter(adapter::kAr488, request);
}

// A LAN back end's arguments may end in ",lock": it then locks each device
// it uses, so no other client of the instrument or gateway gets between.
template <typename Client> DriverSelection makeLan(BackEndRequest& request) {
    constexpr std::string_view lockOption = ",lock";
    const bool lock = endsWithIgnoringCase(request.args, lockOption);
    if (lock) request.args.resize(request.args.size() - lockOption.size());
    DriverSelection s;
    auto driver = Client::open(request.args, s.error);
    if (driver) {
        driver->setLocking(lock);
        s.description = driver->description() + (lock ? ", each device locked" : "");
        if constexpr (std::is_same_v<Client, vxi11::Vxi11Client>)
            if (!driver->interruptChannel())
                s.notes.push_back(s.description +
                                  ": no interrupt channel, so service requests are polled for");
    }
    s.driver = std::move(driver);
    return s;
}

DriverSelection makeTrace(BackEndRequest& request) {
    DriverSelection s = std::move(request.inner);
    TraceOpenResult traced =
        TraceDriver::open(std::move(s.driver), request.args, std::move(request.traceWriteFailed));
    s.driver = std::move(traced.driver);
    if (traced.error.empty()) {
        s.description += ", I/O trace to " + request.args;
        // Why this back end and not another belongs with the calls.
        if (auto* trace = dynamic_cast<TraceDriver*>(s.driver.get()))
            for (const std::string& note : s.notes)
                trace->note(note);
    } else {
        s.notes.push_back("trace disabled: " + traced.error);
    }
    return s;
}

constexpr std::array kBackEnds{
    BackEnd{"auto", "",
            "the GPIB library when its board answers, else the simulated bench (the default)",
            false, &makeAuto},
    BackEnd{"sim", "FILE.yaml",
            "the built-in simulated bench (multimeter at 5, function generator at 9, "
            "oscilloscope at 22); with FILE.yaml, a bench from a pyvisa-sim file; "
            "rate=BYTES_PER_SECOND (alone or after FILE.yaml and a comma) paces every "
            "transfer as a real bus would",
            false, &makeBench, true},
    BackEnd{"gpib", "",
            "only the system's GPIB library (ni4882.dll on 64-bit Windows, Gpib-32.dll on "
            "32-bit Windows, libgpib.so.0 elsewhere)",
            false, &makeGpib},
    BackEnd{"visa", "PREFIX",
            "the system's VISA library (visa64.dll on Windows, libvisa.so or librsvisa.so "
            "elsewhere) on interface GPIB0, or PREFIX (TCPIP0::host::gpib0 for a LAN gateway)",
            false, &makeVisa, true},
    BackEnd{"replay", "TRACE.jsonl",
            "answers as the run recorded in TRACE.jsonl (written with --trace) did", false,
            &makeReplay},
    BackEnd{"prologix", "PORT|HOST[:TCPPORT]",
            "a Prologix GPIB-USB (serial PORT: /dev/ttyUSB0, COM3) or GPIB-ETHERNET adapter "
            "(TCP port 1234 unless given)",
            false, &makePrologix},
    BackEnd{"ar488", "PORT|HOST[:TCPPORT]",
            "an AR488 adapter on a serial PORT (/dev/ttyACM0, COM3) or over the network "
            "(TCP port 1234 unless given)",
            false, &makeAr488},
    BackEnd{"vxi11", "HOST[:PMAPPORT][/DEVICE][,lock]",
            "a LAN instrument over VXI-11 (device inst0 unless given; the portmapper on "
            "port 111 unless given), or with /gpib0 a LAN/GPIB gateway's GPIB interface, "
            "each listener at its own address; ,lock locks each device while the console runs",
            false, &makeLan<vxi11::Vxi11Client>},
    BackEnd{"hislip", "HOST[:PORT][/SUBADDRESS][,lock]",
            "a LAN instrument over HiSLIP (TCP port 4880 and hislip0 unless given), or with "
            "/gpib0 a LAN/GPIB gateway's GPIB interface, each listener at its own address; "
            ",lock locks each device while the console runs",
            false, &makeLan<hislip::HislipClient>},
    BackEnd{"trace", "FILE",
            "appends every driver call of the chosen back end to FILE as JSON Lines "
            "(given with --trace FILE)",
            true, &makeTrace},
};

const BackEnd& traceRow() {
    return kBackEnds.back();
}

} // namespace

std::span<const BackEnd> backEnds() {
    return kBackEnds;
}

std::string backEndList() {
    std::string text = "Back ends (--driver NAME[:ARGS], or $VIREON_DRIVER):\n";
    for (const BackEnd& row : kBackEnds) {
        std::string form(row.name);
        if (!row.argumentForm.empty())
            form += (row.argumentsOptional ? "[:" : ":") + std::string(row.argumentForm) +
                    (row.argumentsOptional ? "]" : "");
        text += "  " + form;
        text.append(form.size() < 20 ? 20 - form.size() : 1, ' ');
        text += std::string(row.help) + "\n";
    }
    return text;
}

std::optional<BackEndChoice> parseBackEndChoice(std::string_view text, std::string& error) {
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const auto row = std::find_if(kBackEnds.begin(), kBackEnds.end(), [&](const BackEnd& b) {
        return equalsIgnoringCase(b.name, name);
    });
    if (row == kBackEnds.end() || row->decorator) {
        std::string names;
        for (const BackEnd& b : kBackEnds) {
            if (b.decorator) continue;
            if (!names.empty()) names += ", ";
            names += b.name;
        }
        error = "unknown driver \"" + std::string(text) + "\" (choose " + names +
                "; --driver help lists them)";
        return std::nullopt;
    }
    BackEndChoice choice{
        &*row, colon == std::string_view::npos ? "" : std::string(text.substr(colon + 1))};
    if (row->argumentForm.empty() && colon != std::string_view::npos) {
        error = "driver \"" + std::string(row->name) + "\" takes no arguments";
        return std::nullopt;
    }
    if (!row->argumentForm.empty() && !row->argumentsOptional && choice.args.empty()) {
        error = "driver \"" + std::string(row->name) + "\" needs " + std::string(row->name) + ":" +
                std::string(row->argumentForm);
        return std::nullopt;
    }
    return choice;
}

DriverSelection selectDriver(const BackEndChoice& choice, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed) {
    BackEndRequest request{choice.args, {}, {}};
    DriverSelection s = choice.backEnd->make(request);
    if (!s.driver) {
        if (s.error.empty())
            s.error =
                "the back end \"" + std::string(choice.backEnd->name) + "\" could not be built";
        return s;
    }
    if (tracePath.empty()) return s;
    BackEndRequest trace{tracePath, std::move(s), std::move(traceWriteFailed)};
    return traceRow().make(trace);
}

DriverSelection selectDriver(std::string_view choice, const std::string& tracePath,
                             std::function<void(const std::string&)> traceWriteFailed) {
    std::string error;
    const std::optional<BackEndChoice> parsed = parseBackEndChoice(choice, error);
    if (!parsed) {
        DriverSelection s;
        s.error = error;
        return s;
    }
    return selectDriver(*parsed, tracePath, std::move(traceWriteFailed));
}

bool isRecordedTrace(std::string_view path) {
    return endsWithIgnoringCase(path, ".jsonl");
}

} // namespace bus
