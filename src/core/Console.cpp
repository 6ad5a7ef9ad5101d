#include "core/Console.h"

#include "bus/Discovery.h"
#include "core/Verdict.h"
#include "platform/Text8.h"

namespace core {

namespace {

void recordTransfer(ExchangeRecord& r, std::string kind, std::u16string_view path,
                    const bus::TransferOutcome& outcome) {
    r.kind = std::move(kind);
    r.file = toUtf8(path);
    const auto count = static_cast<std::uint64_t>(std::max(outcome.count, 0));
    if (r.kind == "to file") r.answerBytes = count;
    r.bytes += count;
    if (outcome.failed() && r.verdict.empty() && outcome.iberr != bus::EABO)
        r.verdict = "failed";
    else if (outcome.timedOut() && r.verdict.empty())
        r.verdict = "no answer";
}

} // namespace

Console::Console(bus::Driver& driver, platform::MessageBoxes& boxes, platform::ProgramExit& exit)
    : monitor_(driver), boxes_(worker_, boxes), session_(monitor_, boxes_, exit) {
    session_.stopRequested = [this] { return monitor_.stopRequested(); };
}

platform::Answer Console::WaitingThreadBoxes::show(std::u16string_view text,
                                                   std::u16string_view title,
                                                   platform::Buttons buttons, platform::Icon icon) {
    if (quiet && buttons == platform::Buttons::Ok) return platform::Answer::Ok;
    platform::Answer answer = platform::Answer::Cancel;
    worker_.callBack([&] { answer = boxes_.show(text, title, buttons, icon); });
    return answer;
}

std::optional<Console::Operation> Console::beginOperation() {
    if (busy_) return std::nullopt;
    busy_ = true;
    monitor_.reset();
    started_ = std::chrono::steady_clock::now();
    stoppedAt_.reset();
    return Operation(*this);
}

void Console::endOperation() {
    closeExchange();
    busy_ = false;
    if (heldBusy_) {
        heldBusy_ = false;
        if (busyChanged_) busyChanged_(false);
    }
    if (operationEnded_) operationEnded_();
}

void Console::openExchange(std::string sent, std::string kind) {
    closeExchange();
    exchange_.emplace();
    exchange_->utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    exchange_->address = session_.devices.SelectedAddress & 0xFF;
    exchange_->sent = std::move(sent);
    exchange_->kind = std::move(kind);
    exchangeStarted_ = std::chrono::steady_clock::now();
    exchangeTimed_ = false;
}

void Console::closeExchange() {
    if (!exchange_) return;
    ExchangeRecord record = std::move(*exchange_);
    exchange_.reset();
    if (!exchangeTimed_)
        record.durationUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - exchangeStarted_)
                                .count();
    if (record.verdict.empty() && monitor_.stopRequested()) record.verdict = "stopped";
    if (exchangeRecorded_) exchangeRecorded_(record);
}

void Console::exchangeDone() {
    if (!exchange_) return;
    if (!selectedVerdicts()) {
        closeExchange();
        return;
    }
    if (exchangeTimed_) return;
    exchange_->durationUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - exchangeStarted_)
                                .count();
    exchangeTimed_ = true;
}

void Console::requestStop() {
    if (!busy_ || stoppedAt_) return;
    stoppedAt_ = std::chrono::steady_clock::now();
    monitor_.requestStop();
}

std::chrono::steady_clock::duration Console::elapsed() const {
    return stoppedAt_.value_or(std::chrono::steady_clock::now()) - started_;
}

void Console::keepWindowRunning(const Operation&) {
    const auto now = std::chrono::steady_clock::now();
    if (!heldBusy_) {
        heldBusy_ = true;
        if (busyChanged_) busyChanged_(true);
    } else if (now < nextEvents_) {
        return;
    }
    nextEvents_ = now + Worker::kSlice;
    if (waitingHook_) waitingHook_();
}

void Console::onBus(const std::function<void()>& work) {
    bool busy = false;
    struct Idle {
        const std::function<void(bool)>& changed;
        bool& busy;
        ~Idle() {
            if (busy && changed) changed(false);
        }
    } idle{busyChanged_, busy};
    worker_.run(work, [this, &busy] {
        // Held busy, the window was told already and hears the end with the
        // operation's.
        if (!busy && !heldBusy_) {
            busy = true;
            if (busyChanged_) busyChanged_(true);
        }
        if (waitingHook_) waitingHook_();
    });
}

void Console::TakeBus() {
    onBus([this] {
        bus::Binding& binding = session_.binding;
        binding.SendIFC(0);
        binding.ibsre(0, 1);
        session_.devices.TimeoutCode = bus::T3s;
        bus::FindListeners(session_);
        session_.devices.DeviceHandle = bus::OpenDevice(session_);
    });
}

void Console::ReleaseBus() {
    onBus([this] {
        bus::Binding& binding = session_.binding;
        binding.ibsre(0, 0);
        if (session_.devices.DeviceHandle > 0) binding.ibonl(session_.devices.DeviceHandle, 0);
    });
}

void Console::SelectDevice(const Operation&, int index) {
    bus::DeviceTable& table = session_.devices;
    if (index < 1 || index > bus::kMaxDevices) return;
    table.SelectedDeviceIndex = static_cast<std::int16_t>(index);
    table.SelectedAddress = table.ListenerAddresses[static_cast<std::size_t>(index)];
    // A wrong address shows up at the next write, which reports it.
    onBus([&] { session_.binding.ibpad(table.DeviceHandle, table.SelectedAddress); });
}

std::int16_t Console::SelectedMethod() const {
    return syntaxcheck::SelectedMethod(methods_, session_.devices);
}

void Console::SetSelectedMethod(const Operation&, std::int16_t method) {
    const int index = session_.devices.SelectedDeviceIndex;
    if (method == syntaxcheck::kStatusRegistersMethod)
        onBus([this] { syntaxcheck::SetUpStatusRegisters(session_); });
    if (index <= 0 || index > bus::kMaxDevices) return;
    methods_[static_cast<std::size_t>(index)] = method;
}

void Console::PreWriteClearing(const Operation&) {
    const std::int16_t method = SelectedMethod();
    if (method != syntaxcheck::kNoMethod)
        onBus([&] { syntaxcheck::PreWriteClearing(session_, method); });
}

bool Console::WriteMessage(const Operation&, std::u16string_view text) {
    openExchange(platform::toBytes(text));
    bool rejected = false;
    onBus([&] {
        const std::int16_t ud = session_.devices.DeviceHandle;
        bus::WriteChecked(session_, ud, text);
        const std::int16_t method = SelectedMethod();
        rejected =
            method != syntaxcheck::kNoMethod && syntaxcheck::CheckSyntax(session_, ud, method);
    });
    if (rejected) session_.ErrorFlag = true;
    if (rejected)
        exchange_->verdict = "rejected";
    else if (session_.ErrorFlag)
        exchange_->verdict = "failed";
    else
        exchange_->bytes = exchange_->sent.size();
    return rejected;
}

std::u16string Console::ReadResponse(const Operation&, bool quiet) {
    // A read with nothing written before it ("??") is an exchange too.
    if (!exchange_) openExchange({});
    std::u16string answer;
    boxes_.quiet = quiet;
    onBus([&] { answer = bus::ReadResponse(session_, session_.devices.DeviceHandle); });
    boxes_.quiet = false;
    ExchangeRecord& r = *exchange_;
    r.answerBytes = answer.size();
    r.bytes += answer.size();
    r.block = answer.size() >= 2 && answer[0] == u'#' && answer[1] >= u'1' && answer[1] <= u'9';
    if (!r.block)
        r.answer =
            platform::toBytes(std::u16string_view(answer).substr(0, ExchangeRecord::kKeptAnswer));
    if (r.block || answer.size() > ExchangeRecord::kKeptAnswer)
        r.whole = std::make_shared<const std::u16string>(answer);
    if (answer.empty() && r.verdict.empty() && !monitor_.stopRequested()) r.verdict = "no answer";
    exchangeDone();
    return answer;
}

bool Console::selectedVerdicts() const {
    const int index = session_.devices.SelectedDeviceIndex;
    return index > 0 && index <= bus::kMaxDevices && verdicts_[static_cast<std::size_t>(index)];
}

void Console::setSelectedVerdicts(bool on) {
    const int index = session_.devices.SelectedDeviceIndex;
    if (index > 0 && index <= bus::kMaxDevices) verdicts_[static_cast<std::size_t>(index)] = on;
}

void Console::judge(const Operation&) {
    if (!exchange_ || !selectedVerdicts()) return;
    exchangeDone();
    // A device that failed on the bus, or a stopped exchange, has nothing
    // more to say about it.
    if (exchange_->verdict != "failed" && !monitor_.stopRequested()) {
        // Older instruments (the serial poll method) know no IEEE 488.2
        // status queries and are judged by their status byte; every other
        // device is taken for an IEEE 488.2 one.
        const bool ieee4882 = SelectedMethod() != syntaxcheck::kSerialPollMethod;
        VerdictReading reading;
        onBus([&] { reading = readVerdict(session_, session_.devices.DeviceHandle, ieee4882); });
        exchange_->verdict = joinVerdicts(exchange_->verdict, verdictText(reading));
    }
    closeExchange();
}

void Console::IdentifyAll(const Operation&, const devices::IdQueries& queries,
                          const std::function<void(const std::u16string&)>& print) {
    // Each answer is shown by the window's thread while the worker waits, so
    // the device table it reads stands still.
    closeExchange();
    const std::string sent = queries.id && queries.idn ? "ID? / *IDN?"
                             : queries.id              ? "ID?"
                                                       : "*IDN?";
    openExchange(sent, "id all");
    const auto show = [&](const std::u16string& answer) {
        worker_.callBack([&] {
            // Each device's row runs from the end of the one before.
            exchange_->address = session_.devices.SelectedAddress & 0xFF;
            if (answer == u"No response")
                exchange_->verdict = "no answer";
            else
                exchange_->answer = platform::toBytes(answer);
            exchange_->answerBytes = exchange_->answer.size();
            exchange_->bytes = exchange_->answer.size();
            closeExchange();
            openExchange(sent, "id all");
            if (print) print(answer);
        });
    };
    onBus([&] { devices::IdentifyAll(session_, queries, show); });
    // What was opened after the last device is not an exchange.
    exchange_.reset();
}

bus::TransferOutcome Console::ReceiveFile(const Operation&, std::u16string_view path) {
    bus::TransferOutcome outcome;
    onBus([&] { outcome = bus::ReceiveFile(session_, session_.devices.DeviceHandle, path); });
    if (!exchange_) openExchange({});
    recordTransfer(*exchange_, "to file", path, outcome);
    exchangeDone();
    return outcome;
}

bus::TransferOutcome Console::SendFile(const Operation&, std::u16string_view path) {
    bus::TransferOutcome outcome;
    openExchange({}, "from file");
    onBus([&] { outcome = bus::SendFile(session_, session_.devices.DeviceHandle, path); });
    recordTransfer(*exchange_, "from file", path, outcome);
    closeExchange();
    return outcome;
}

} // namespace core
