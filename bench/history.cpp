// The history at its cap: opening a full History.jsonl (part of every
// start-up), finding rows in it as the panel does while the operator types,
// and adding an exchange (one flushed line).

#include "core/History.h"
#include "console/HistoryPanel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

core::ExchangeRecord exchange(std::size_t n) {
    core::ExchangeRecord r;
    r.utcMs = 1796610301123 + static_cast<std::int64_t>(n) * 100;
    r.address = n % 3 == 0 ? 5 : n % 3 == 1 ? 9 : 22;
    r.sent = n % 2 == 0 ? "MEAS:VOLT?\n" : "*IDN?\n";
    r.answer = n % 2 == 0 ? "+1.2345" + std::to_string(n % 1000) + "E+00\n"
                          : "Vireon Sim,VDM-6500,SN000005,1.04.2\n";
    r.answerBytes = r.answer.size();
    r.durationUs = 800;
    r.bytes = r.sent.size() + r.answer.size();
    r.verdict = n % 50 == 0 ? "ESR 32 CME; -113,\"Undefined header\"" : "";
    return r;
}

// A full history file, made once.
const std::filesystem::path& fullHistory() {
    static QTemporaryDir folder;
    static const std::filesystem::path path = [] {
        const std::filesystem::path p = folder.path().toStdString() + "/History.jsonl";
        core::History history;
        history.open(p);
        for (std::size_t n = 0; n < core::History::kDefaultCap; ++n)
            history.add(exchange(n));
        return p;
    }();
    return path;
}

void BM_OpenAFullHistory(benchmark::State& state) {
    const auto& path = fullHistory();
    for (auto _ : state) {
        core::History history;
        benchmark::DoNotOptimize(history.open(path));
        if (history.size() != core::History::kDefaultCap) state.SkipWithError("rows lost");
    }
}
BENCHMARK(BM_OpenAFullHistory)->Unit(benchmark::kMillisecond);

void BM_PanelFiltersAFullHistory(benchmark::State& state) {
    core::History history;
    history.open(fullHistory());
    console::HistoryModel model(history);
    int n = 0;
    for (auto _ : state) {
        // What a search box sees while the operator types, one letter more each time.
        const std::string text =
            std::string("volt").substr(0, static_cast<std::size_t>(1 + n++ % 4));
        model.setFilter(text, state.range(0), {});
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_PanelFiltersAFullHistory)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond);

void BM_AddAnExchange(benchmark::State& state) {
    QTemporaryDir folder;
    core::History history;
    history.open(folder.path().toStdString() + "/History.jsonl");
    std::size_t n = 0;
    for (auto _ : state)
        history.add(exchange(n++));
    state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_AddAnExchange);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
