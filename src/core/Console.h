#pragma once

#include "bus/BusSession.h"
#include "bus/DeviceIo.h"
#include "bus/drivers/TransferMonitor.h"
#include "core/History.h"
#include "core/IdentifyAll.h"
#include "core/SyntaxCheck.h"
#include "core/Worker.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The console without its window: it owns the bus session (binding, device
// table, ErrorFlag), the selection and the syntax-check method of each
// device, and runs every operation the console performs on the bus. The
// window shows, forwards and asks; it never calls the bus itself.
//
// One bus operation runs at a time. A handler takes an Operation before it
// touches the bus and holds it to its end, events let through on the way
// included; while one is held, beginOperation() refuses, without a word, so a
// queued Enter or click cannot write in the middle of another exchange.
//
// Every call to the bus runs on the console's worker thread, which registers
// its own status variables; the calling thread waits for it and meanwhile
// runs the window's waiting hook (events, progress) and shows the message
// boxes the bus routines ask for. The bytes an operation moves are counted,
// and the operator can stop it: the next read or file chunk then ends with
// EABO, as a driver's abort would.
class Console {
public:
    Console(bus::Driver& driver, platform::MessageBoxes& boxes, platform::ProgramExit& exit);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    class Operation {
    public:
        Operation(Operation&& other) noexcept : console_(other.console_) {
            other.console_ = nullptr;
        }
        Operation& operator=(Operation&&) = delete;
        ~Operation() {
            if (console_ != nullptr) console_->endOperation();
        }

    private:
        friend class Console;
        explicit Operation(Console& console) : console_(&console) {}
        Console* console_;
    };

    // Nothing while another operation runs.
    [[nodiscard]] std::optional<Operation> beginOperation();
    bool busy() const { return busy_; }

    // Run by the waiting thread every few milliseconds while a bus call takes
    // longer than a moment.
    void setWaitingHook(std::function<void()> hook) { waitingHook_ = std::move(hook); }
    // Run once each operation has ended.
    void setOperationEnded(std::function<void()> ended) { operationEnded_ = std::move(ended); }
    // Told true when a bus call has taken long enough that the window's
    // events run while it waits (the operator can click, type and choose
    // then, and anything that would collide with the bus must not be
    // offered), and false when that call has ended and the console has the
    // window to itself again. Short calls let no event run and say nothing.
    void setBusyChanged(std::function<void(bool)> changed) { busyChanged_ = std::move(changed); }

    // Told each exchange once it is over, on the window's thread: a message
    // and its answer, a command, a device's answer to Id All, a file sent or
    // received.
    void setExchangeRecorded(std::function<void(const ExchangeRecord&)> recorded) {
        exchangeRecorded_ = std::move(recorded);
    }

    // For an operation of many short calls (a run of the outgoing list): the
    // window is told busy from the first call here to the operation's end, and
    // its events run here every few milliseconds, however short the calls
    // between, so Stop and Esc are heard and the window follows the run.
    void keepWindowRunning(const Operation&);
    // Runs `work` (a wait, not a bus call) on the worker as a bus call runs,
    // the window's events going on meanwhile.
    void runOnWorker(const Operation&, const std::function<void()>& work) { onBus(work); }

    // Ends the running operation's transfer at its next chunk; nothing when idle.
    void requestStop();
    bool stopRequested() const { return monitor_.stopRequested(); }
    // The bytes the running (or last) operation moved, and how long it has
    // run (until the stop, when the operator stopped it).
    std::uint64_t bytesMoved() const { return monitor_.bytes(); }
    std::chrono::steady_clock::duration elapsed() const;
    bus::TransferMonitor& monitor() { return monitor_; }

    bus::BusSession& session() { return session_; }
    const bus::DeviceTable& devices() const { return session_.devices; }
    platform::MessageBoxes& boxes() { return session_.boxes; }

    // Start-up: takes the bus (interface clear, remote enable), finds the
    // listeners and opens the device descriptor. A terminating error ends
    // the program through the exit seam.
    void TakeBus();
    // At exit, after everything else: the instruments go back to local, so
    // their front panels work again, and the descriptor goes offline.
    // Failures are of no more use to anyone and are not reported.
    void ReleaseBus();

    // Selects device index 1 to count and moves the descriptor to it.
    void SelectDevice(const Operation&, int index);

    std::int16_t SelectedMethod() const;
    const syntaxcheck::DeviceSyntaxMethodTable& DeviceSyntaxMethod() const { return methods_; }
    // The method the syntax-check dialog chose for the selected device; the
    // status registers method first sets the device up for it.
    void SetSelectedMethod(const Operation&, std::int16_t method);

    // Before a message goes out under a syntax-check method: clears the
    // device's status, so leftover requests do not pass for this message's.
    void PreWriteClearing(const Operation&);
    // Writes the message as given and, under a method, checks it. True when
    // the device rejected it; ErrorFlag is then set and no answer is read.
    bool WriteMessage(const Operation&, std::u16string_view text);
    // The selected device's whole answer (empty after the "I/O Error" box).
    // A quiet read (a run of the list, which nobody may be watching) shows
    // no box: its record says "no answer" instead.
    std::u16string ReadResponse(const Operation&, bool quiet = false);

    // Whether each message to the selected device is judged after it is sent
    // (off for every device at start; the table lives only for the run).
    bool selectedVerdicts() const;
    void setSelectedVerdicts(bool on);
    // At the end of a message's bus part, when the selected device's verdicts
    // are on: asks the device how the message went and adds the verdict to
    // the exchange's record, which is then told; one that failed on the bus
    // or was stopped is told as it is. Nothing when the verdicts are off or
    // no exchange is under way.
    void judge(const Operation&);

    // Asks every device who it is, the last first; `print` shows each answer
    // with SelectedAddress set to that device.
    void IdentifyAll(const Operation&, const devices::IdQueries& queries,
                     const std::function<void(const std::u16string&)>& print);

    // The file transfers of the selected device, under the long time-out.
    bus::TransferOutcome ReceiveFile(const Operation&, std::u16string_view path);
    bus::TransferOutcome SendFile(const Operation&, std::u16string_view path);

private:
    // Shows the boxes the bus routines ask for on the thread that waits for
    // them, the window's.
    class WaitingThreadBoxes final : public platform::MessageBoxes {
    public:
        WaitingThreadBoxes(Worker& worker, platform::MessageBoxes& boxes)
            : worker_(worker), boxes_(boxes) {}
        platform::Answer show(std::u16string_view text, std::u16string_view title,
                              platform::Buttons buttons, platform::Icon icon) override;
        // While set, a box that only says something (an OK box) is not shown.
        bool quiet = false;

    private:
        Worker& worker_;
        platform::MessageBoxes& boxes_;
    };

    void endOperation();
    void openExchange(std::string sent, std::string kind = {});
    // Tells the exchange under way, if any, with its time and verdict.
    void closeExchange();
    // Ends the exchange's time; its record waits for the verdict when the
    // selected device's verdicts are on, and is told at once otherwise.
    void exchangeDone();
    // Runs one piece of bus work on the worker and waits for it.
    void onBus(const std::function<void()>& work);

    bus::TransferMonitor monitor_;
    WaitingThreadBoxes boxes_;
    bus::BusSession session_;
    syntaxcheck::DeviceSyntaxMethodTable methods_{};
    std::array<bool, bus::kMaxDevices + 1> verdicts_{};
    bool busy_ = false;
    // keepWindowRunning() has told the window busy until the operation ends.
    bool heldBusy_ = false;
    std::chrono::steady_clock::time_point nextEvents_{};
    std::chrono::steady_clock::time_point started_{};
    // When the operator asked for the stop: the time shown ends there.
    std::optional<std::chrono::steady_clock::time_point> stoppedAt_;
    std::function<void()> waitingHook_;
    std::function<void()> operationEnded_;
    std::function<void(bool)> busyChanged_;
    std::function<void(const ExchangeRecord&)> exchangeRecorded_;
    std::optional<ExchangeRecord> exchange_;
    std::chrono::steady_clock::time_point exchangeStarted_{};
    // The exchange's time was taken before its verdict was asked.
    bool exchangeTimed_ = false;
    Worker worker_; // last: its thread ends before anything it uses goes
};

} // namespace core
