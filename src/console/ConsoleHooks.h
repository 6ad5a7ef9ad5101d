#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace console {

// How the subsystems of the window reach one another. Each subsystem's
// wiring fills the entries it provides; an empty entry means that subsystem
// does not take part (the caller then skips the step).
struct ConsoleHooks {
    // Message exchange.
    std::function<void(const std::u16string& answer)> PrintMessageList;
    std::function<void()> SendMessage_Click;

    // Syntax check of the selected device.
    // True when the selected device has a syntax-check method.
    std::function<bool()> SyntaxMethodSet;
    // "*CLS" (status registers method) and up to 25 polls, before a write.
    std::function<void()> PreWriteClearing;
    std::function<void(std::int16_t descriptor)> CheckSyntax;

    // Received data to file: takes the place of the write-and-read of a
    // query while a file mode is on. Returns true when the transfer
    // completed (the message is then recorded in the list), false when it
    // was abandoned.
    std::function<bool(const std::u16string& outgoing)> ReceiveToFile;
    std::function<void()> SendtoFileOnce_Click;
};

} // namespace console
