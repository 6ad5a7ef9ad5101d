// Start-up speed and idle memory of the console on the simulated bench.
//
// BM_ProcessStartToWindowShown starts this program again as a child for each
// iteration and times from the spawn to the child's word that its window is
// on screen: loading the libraries, the bus start-up and the first paint.
// BM_IdleResidentMemory lets one child sit idle for a second and reports its
// resident memory. BM_LoadAndShowInProcess times the window alone, without
// the process around it. The window runs wherever QT_QPA_PLATFORM points
// (offscreen when unset).

#include "bus/drivers/DriverChoice.h"
#include "console/ManualForm.h"
#include "core/History.h"
#include "platform/DataFolder.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(__unix__)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

constexpr const char* kChildFlag = "--startup-child";
constexpr const char* kIdleFlag = "--startup-child-idle";

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// One console on the simulated bench with its settings and data folder in a
// temporary folder, so a run never touches the user's own.
struct BenchConsole {
    BenchConsole()
        : settings(platform::QtSettingsStore::inFile(dir.filePath(QStringLiteral("Vireon.ini")))),
          dataFolder(
              QDir::toNativeSeparators(dir.filePath(QStringLiteral("Vireon"))).toStdU16String()),
          selection(bus::selectDriver("sim", {})),
          form(console::ConsoleSeams{*selection.driver, selection.simulated, boxes, exit,
                                     fileDialogs, shell, settings, dataFolder}) {}

    // A history file at its cap, as a console in daily use has.
    void fillHistory() {
        const std::filesystem::path folder =
            std::filesystem::path(dir.path().toStdU16String()) / "Vireon";
        std::filesystem::create_directories(folder);
        core::History history;
        history.open(folder / "History.jsonl");
        core::ExchangeRecord r;
        r.address = 22;
        r.sent = "MEAS:VOLT?\n";
        for (std::size_t n = 0; n < core::History::kDefaultCap; ++n) {
            r.utcMs = 1796610301123 + static_cast<std::int64_t>(n) * 100;
            r.answer = "+1.2345" + std::to_string(n % 1000) + "E+00\n";
            history.add(r);
        }
    }

    void loadAndShow() {
        form.Form_Load();
        form.show();
        while (!form.windowHandle() || !form.windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // The first paint.
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    platform::QtMessageBoxes boxes;
    platform::QtProgramExit exit;
    platform::QtFileDialogs fileDialogs;
    platform::QtShell shell;
    platform::QtSettingsStore settings;
    platform::LocalDataFolder dataFolder;
    bus::DriverSelection selection;
    console::ManualForm form;
};

int runChild(int argc, char* argv[], bool idle) {
    QApplication app(argc, argv);
    BenchConsole console;
    console.loadAndShow();
    std::printf("shown\n");
    std::fflush(stdout);
    if (idle) {
        QTimer::singleShot(1000, &app, &QCoreApplication::quit);
        app.exec();
        std::printf("rss_kb %ld\n", residentKilobytes());
        std::fflush(stdout);
    }
    return 0;
}

#if defined(__unix__)
struct ChildRun {
    double secondsToShown = 0;
    long rssKilobytes = -1;
    bool ok = false;
};

ChildRun runChildProcess(bool idle) {
    ChildRun run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char self[] = "/proc/self/exe";
    char flag[64];
    std::snprintf(flag, sizeof flag, "%s", idle ? kIdleFlag : kChildFlag);
    char* childArgv[] = {self, flag, nullptr};

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, childArgv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return run;
    }
    FILE* out = fdopen(pipeFds[0], "r");
    char line[128];
    while (std::fgets(line, sizeof line, out)) {
        if (std::strcmp(line, "shown\n") == 0) {
            run.secondsToShown =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            run.ok = true;
        } else if (std::strncmp(line, "rss_kb ", 7) == 0) {
            run.rssKilobytes = std::atol(line + 7);
        }
    }
    std::fclose(out);
    int status = 0;
    waitpid(pid, &status, 0);
    run.ok = run.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

void BM_ProcessStartToWindowShown(benchmark::State& state) {
    for (auto _ : state) {
        const ChildRun run = runChildProcess(false);
        if (!run.ok) {
            state.SkipWithError("the console did not start");
            return;
        }
        state.SetIterationTime(run.secondsToShown);
    }
}
BENCHMARK(BM_ProcessStartToWindowShown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_IdleResidentMemory(benchmark::State& state) {
    long rss = -1;
    for (auto _ : state) {
        const ChildRun run = runChildProcess(true);
        if (!run.ok || run.rssKilobytes < 0) {
            state.SkipWithError("the console did not start");
            return;
        }
        rss = run.rssKilobytes;
    }
    state.counters["idle_rss_MB"] = static_cast<double>(rss) / 1024.0;
}
BENCHMARK(BM_IdleResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
#endif

void BM_LoadAndShowInProcess(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchConsole console;
        if (state.range(0) != 0) console.fillHistory();
        state.ResumeTiming();
        console.loadAndShow();
        benchmark::DoNotOptimize(console.form.isVisible());
        state.PauseTiming();
        console.form.hide();
        state.ResumeTiming();
    }
}
// Arg 1: with a full history file.
BENCHMARK(BM_LoadAndShowInProcess)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kChildFlag) == 0) return runChild(argc, argv, false);
        if (std::strcmp(argv[i], kIdleFlag) == 0) return runChild(argc, argv, true);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
