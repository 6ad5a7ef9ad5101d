#include "core/Console.h"

#include "bus/Discovery.h"

namespace core {

Console::Console(bus::Driver& driver, platform::MessageBoxes& boxes, platform::ProgramExit& exit)
    : session_(driver, boxes, exit) {}

std::optional<Console::Operation> Console::beginOperation() {
    if (busy_) return std::nullopt;
    return Operation(busy_);
}

void Console::TakeBus() {
    bus::Binding& binding = session_.binding;
    binding.SendIFC(0);
    binding.ibsre(0, 1);
    session_.devices.TimeoutCode = bus::T3s;
    bus::FindListeners(session_);
    session_.devices.DeviceHandle = bus::OpenDevice(session_);
}

void Console::ReleaseBus() {
    bus::Binding& binding = session_.binding;
    binding.ibsre(0, 0);
    if (session_.devices.DeviceHandle > 0) binding.ibonl(session_.devices.DeviceHandle, 0);
}

void Console::SelectDevice(const Operation&, int index) {
    bus::DeviceTable& table = session_.devices;
    if (index < 1 || index > bus::kMaxDevices) return;
    table.SelectedDeviceIndex = static_cast<std::int16_t>(index);
    table.SelectedAddress = table.ListenerAddresses[static_cast<std::size_t>(index)];
    // A wrong address shows up at the next write, which reports it.
    session_.binding.ibpad(table.DeviceHandle, table.SelectedAddress);
}

std::int16_t Console::SelectedMethod() const {
    return syntaxcheck::SelectedMethod(methods_, session_.devices);
}

void Console::SetSelectedMethod(const Operation&, std::int16_t method) {
    const int index = session_.devices.SelectedDeviceIndex;
    if (method == syntaxcheck::kStatusRegistersMethod) syntaxcheck::SetUpStatusRegisters(session_);
    if (index <= 0 || index > bus::kMaxDevices) return;
    methods_[static_cast<std::size_t>(index)] = method;
}

void Console::PreWriteClearing(const Operation&) {
    const std::int16_t method = SelectedMethod();
    if (method != syntaxcheck::kNoMethod) syntaxcheck::PreWriteClearing(session_, method);
}

bool Console::WriteMessage(const Operation&, std::u16string_view text) {
    const std::int16_t ud = session_.devices.DeviceHandle;
    bus::WriteChecked(session_, ud, text);
    const std::int16_t method = SelectedMethod();
    if (method == syntaxcheck::kNoMethod || !syntaxcheck::CheckSyntax(session_, ud, method))
        return false;
    session_.ErrorFlag = true;
    return true;
}

std::u16string Console::ReadResponse(const Operation&) {
    return bus::ReadResponse(session_, session_.devices.DeviceHandle);
}

void Console::IdentifyAll(const Operation&, const devices::IdQueries& queries,
                          const std::function<void(const std::u16string&)>& print) {
    devices::IdentifyAll(session_, queries, print);
}

bus::TransferOutcome Console::ReceiveFile(const Operation&, std::u16string_view path) {
    return bus::ReceiveFile(session_, session_.devices.DeviceHandle, path);
}

bus::TransferOutcome Console::SendFile(const Operation&, std::u16string_view path) {
    return bus::SendFile(session_, session_.devices.DeviceHandle, path);
}

} // namespace core
