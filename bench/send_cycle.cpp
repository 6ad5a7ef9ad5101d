// One full send cycle on the simulated bench, as the operator runs it: a
// typed "*IDN?" sent with Enter to the multimeter, its answer read and laid
// out on top of an incoming view that already holds some 30,000 characters,
// and the typed message found in the outgoing list. The window is on screen
// (offscreen unless QT_QPA_PLATFORM says otherwise; QT_QPA_PLATFORM=xcb under
// Xvfb for a real window), so the cycle's rounds of pending events, the
// view's own work and the paints are part of the figure.

#include "BenchSeams.h"
#include "bus/drivers/DriverChoice.h"
#include "console/ManualForm.h"
#include "exchange/Exchange.h"
#include "exchange/IncomingText.h"
#include "platform/DataFolder.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using bench_support::AbortExit;

// Every box answered OK, so a box would show in the figure but never stop it.
class OkBoxes : public platform::MessageBoxes {
public:
    platform::Answer show(std::u16string_view, std::u16string_view, platform::Buttons,
                          platform::Icon) override {
        ++shown;
        return platform::Answer::Ok;
    }
    int shown = 0;
};

struct BenchConsole {
    explicit BenchConsole(bool onScreen)
        : settings(platform::QtSettingsStore::inFile(dir.filePath(QStringLiteral("Vireon.ini")))),
          dataFolder(
              QDir::toNativeSeparators(dir.filePath(QStringLiteral("Vireon"))).toStdU16String()),
          selection(bus::selectDriver("sim", {})),
          form(console::ConsoleSeams{*selection.driver, selection.simulated, boxes, exit, dialogs,
                                     shell, settings, dataFolder}) {
        form.Form_Load();
        form.show();
        while (!form.windowHandle() || !form.windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        form.Form_Activate();
        QCoreApplication::processEvents();
        // Hidden, the window paints nothing: what is left is the console's own work.
        if (!onScreen) form.hide();
        form.findChild<QPushButton*>(QStringLiteral("AddressButton_0"))->click();
        for (const char* name : {"Caps", "CheckListForMatch", "AllowMultipleCommands",
                                 "vrSelectNextListItem", "vrAddCR", "vrAddLF"})
            form.findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(false);
        box = form.findChild<QComboBox*>(QStringLiteral("SendMessageList"));
        box->clear();
        box->addItems({QStringLiteral("<Help>"), QStringLiteral("ID?"), QStringLiteral("*RST"),
                       QStringLiteral("*IDN?"), QStringLiteral("MEAS:VOLT?")});
        exchange = &form.exchange();
    }

    QTemporaryDir dir;
    OkBoxes boxes;
    AbortExit exit;
    platform::QtFileDialogs dialogs;
    platform::QtShell shell;
    platform::QtSettingsStore settings;
    platform::LocalDataFolder dataFolder;
    bus::DriverSelection selection;
    console::ManualForm form;
    QComboBox* box = nullptr;
    exchange::Exchange* exchange = nullptr;
};

constexpr std::u16string_view kIdentity = u"Vireon Sim,VDM-6500,SN000005,1.04.2";

// Answers of the multimeter's identity, 30,000 characters and a bit.
std::u16string fullView() {
    const std::u16string block = exchange::BuildBlock(kIdentity, 5);
    std::u16string view;
    while (view.size() < 30000)
        view += block;
    return view;
}

// Puts the view back to some 30,000 characters when the next answer would
// no longer fit beside the older ones, and lets the window paint that, all
// outside the timing. Between two resets the view holds 30,000 to 32,700
// characters, and each cycle paints what the cycle before it changed, as the
// event loop would between two messages.
void keepViewFull(benchmark::State& state, BenchConsole& console, const std::u16string& view,
                  std::size_t nextBlock) {
    if (console.exchange->viewText().size() + nextBlock + 12 <= exchange::kIncomingLimit &&
        !console.exchange->viewText().empty())
        return;
    state.PauseTiming();
    console.exchange->setViewText(view);
    QCoreApplication::processEvents();
    state.ResumeTiming();
}

void BM_SendCycleOnAFullView(benchmark::State& state) {
    BenchConsole console(state.range(0) != 0);
    const std::u16string view = fullView();
    const std::size_t block = exchange::BuildBlock(kIdentity, 5).size();
    QLineEdit* editor = console.box->lineEdit();
    const QString typed = QStringLiteral("*IDN?");
    std::int64_t cycles = 0;
    for (auto _ : state) {
        keepViewFull(state, console, view, block);
        // The operator's typing, before the Enter that starts the cycle.
        console.box->setCurrentIndex(-1);
        editor->setText(typed);

        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(editor, &enter);
        ++cycles;
    }
    // Every cycle wrote, read, showed its answer and found "*IDN?" in the list.
    if (console.boxes.shown != 0 || console.box->currentIndex() != 3 ||
        console.exchange->viewText().rfind(u"05: Vireon Sim", 0) != 0)
        state.SkipWithError("the cycle did not write, read, show and find its message");
    state.SetItemsProcessed(cycles);
}
// Real time: the bus work runs on the console's worker thread, which the
// window thread's CPU time would leave out.
BENCHMARK(BM_SendCycleOnAFullView)
    ->ArgName("on_screen")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The same answer laid on top of the view, without the bus and the list.
void BM_PrintMessageListOnAFullView(benchmark::State& state) {
    BenchConsole console(state.range(0) != 0);
    const std::u16string view = fullView();
    const std::size_t block = exchange::BuildBlock(kIdentity, 5).size();
    for (auto _ : state) {
        keepViewFull(state, console, view, block);
        console.exchange->PrintMessageList(std::u16string(kIdentity));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PrintMessageListOnAFullView)
    ->ArgName("on_screen")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
