// Writes the history's exports, with the texts that make CSV and JSON hard
// (commas, quotes, line ends, every byte value, blocks, transfers), into a
// folder for programs we did not write to read back.
#include "core/History.h"
#include "core/Sequence.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    // A fresh folder: the history file would otherwise grow run by run.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    core::History history;
    if (const std::string note = history.open(folder / "History.jsonl"); !note.empty()) {
        std::fprintf(stderr, "%s\n", note.c_str());
        return 1;
    }
    std::string every;
    for (int b = 0; b < 256; ++b)
        every += static_cast<char>(b);
    const auto add = [&](std::int64_t ms, int address, std::string sent, std::string answer,
                         std::string verdict) {
        core::ExchangeRecord r;
        r.utcMs = ms;
        r.address = address;
        r.sent = std::move(sent);
        r.answer = std::move(answer);
        r.answerBytes = r.answer.size();
        r.durationUs = 1500 + ms % 997;
        r.bytes = r.sent.size() + r.answer.size();
        r.verdict = std::move(verdict);
        return r;
    };
    const std::int64_t t0 = 1796610301123;
    history.add(add(t0, 22, "*IDN?\n", "Vireon Sim,VSO-2204,SN000022,1.0\n", ""));
    history.add(add(t0 + 100, 5, "MEAS:VOLT?\r\n", "1.25E+00,\"2\"\r\n",
                    "ESR 32 CME; -113,\"Undefined header\""));
    history.add(add(t0 + 200, 9, every, every, "no answer"));
    core::ExchangeRecord block = add(t0 + 300, 22, "CURV?\n", "", "stopped");
    block.block = true;
    block.answerBytes = 20000;
    history.add(block);
    core::ExchangeRecord file = add(t0 + 400, 5, "", "", "");
    file.kind = "from file";
    file.file = "/tmp/données, \"a\".dat";
    history.add(file);
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < history.size(); ++i)
        all.push_back(i);
    for (const std::string& error : {history.exportCsv(folder / "History.csv", all),
                                     history.exportJsonLines(folder / "Export.jsonl", all)}) {
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    // A run's log: numbers, an empty cell for a failed read, a message and a
    // verdict that need quoting.
    core::SequenceLog log;
    if (const std::string error = log.open(folder / "Run.csv"); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (int n = 0; n < 5; ++n) {
        core::LogRow row;
        row.utcMs = t0 + n * 100;
        row.elapsedS = n * 0.1;
        row.address = 22;
        row.message = n == 3 ? "MEAS:VOLT? \"DC\",10" : "MEAS:VOLT?";
        if (n != 2) row.value = 1.25 + n * 1e-3;
        row.verdict = n == 2 ? "no answer" : n == 3 ? "ESR 32 CME; -113,\"Undefined header\"" : "";
        if (!log.write(row)) return 1;
    }
    return 0;
}
