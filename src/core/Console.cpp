#include "core/Console.h"

#include "bus/Discovery.h"

namespace core {

Console::Console(bus::Driver& driver, platform::MessageBoxes& boxes, platform::ProgramExit& exit)
    : monitor_(driver), boxes_(worker_, boxes), session_(monitor_, boxes_, exit) {
    session_.stopRequested = [this] { return monitor_.stopRequested(); };
}

platform::Answer Console::WaitingThreadBoxes::show(std::u16string_view text,
                                                   std::u16string_view title,
                                                   platform::Buttons buttons, platform::Icon icon) {
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
    busy_ = false;
    if (operationEnded_) operationEnded_();
}

void Console::requestStop() {
    if (!busy_ || stoppedAt_) return;
    stoppedAt_ = std::chrono::steady_clock::now();
    monitor_.requestStop();
}

std::chrono::steady_clock::duration Console::elapsed() const {
    return stoppedAt_.value_or(std::chrono::steady_clock::now()) - started_;
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
        if (!busy) {
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
    bool rejected = false;
    onBus([&] {
        const std::int16_t ud = session_.devices.DeviceHandle;
        bus::WriteChecked(session_, ud, text);
        const std::int16_t method = SelectedMethod();
        rejected =
            method != syntaxcheck::kNoMethod && syntaxcheck::CheckSyntax(session_, ud, method);
    });
    if (rejected) session_.ErrorFlag = true;
    return rejected;
}

std::u16string Console::ReadResponse(const Operation&) {
    std::u16string answer;
    onBus([&] { answer = bus::ReadResponse(session_, session_.devices.DeviceHandle); });
    return answer;
}

void Console::IdentifyAll(const Operation&, const devices::IdQueries& queries,
                          const std::function<void(const std::u16string&)>& print) {
    // Each answer is shown by the window's thread while the worker waits, so
    // the device table it reads stands still.
    const auto show = [&](const std::u16string& answer) {
        if (print) worker_.callBack([&] { print(answer); });
    };
    onBus([&] { devices::IdentifyAll(session_, queries, show); });
}

bus::TransferOutcome Console::ReceiveFile(const Operation&, std::u16string_view path) {
    bus::TransferOutcome outcome;
    onBus([&] { outcome = bus::ReceiveFile(session_, session_.devices.DeviceHandle, path); });
    return outcome;
}

bus::TransferOutcome Console::SendFile(const Operation&, std::u16string_view path) {
    bus::TransferOutcome outcome;
    onBus([&] { outcome = bus::SendFile(session_, session_.devices.DeviceHandle, path); });
    return outcome;
}

} // namespace core
