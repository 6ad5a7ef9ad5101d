// HiSLIP: the message reader fed any bytes in any pieces, and the client fed
// whatever a server could send on either channel (whole messages of any
// type, stray bytes, silence, drops) through the driver calls the console
// makes. No crash, no undefined behaviour, nothing held past the limit,
// counts within what was asked, every call's status complete. The fake
// server answers at once and falls silent when the input runs out.
#include "Check.h"
#include "FakeTransport.h"
#include "bus/drivers/hislip/Hislip.h"
#include "bus/drivers/hislip/HislipClient.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

namespace hs = bus::hislip;

void readerOnly(FuzzedDataProvider& in) {
    const auto limit = in.ConsumeIntegralInRange<std::uint64_t>(0, 1 << 16);
    hs::MessageReader reader(limit);
    while (in.remaining_bytes() > 0) {
        const std::string piece = in.ConsumeRandomLengthString(512);
        reader.append(piece);
        hs::Message m;
        hs::MessageReader::Status status;
        while ((status = reader.next(m)) == hs::MessageReader::Status::Message) {
            FUZZ_CHECK(m.payload.size() == m.header.length && m.header.length <= limit);
        }
        if (status == hs::MessageReader::Status::Bad) {
            FUZZ_CHECK(reader.failed() && reader.next(m) == hs::MessageReader::Status::Bad);
            return;
        }
        // What waits is at most one message's start.
        FUZZ_CHECK(reader.buffered() < hs::kHeaderSize + limit);
    }
}

constexpr hs::Type kReplies[] = {hs::Type::InitializeResponse,
                                 hs::Type::AsyncInitializeResponse,
                                 hs::Type::AsyncMaximumMessageSizeResponse,
                                 hs::Type::Data,
                                 hs::Type::DataEnd,
                                 hs::Type::AsyncStatusResponse,
                                 hs::Type::AsyncDeviceClearAcknowledge,
                                 hs::Type::DeviceClearAcknowledge,
                                 hs::Type::AsyncServiceRequest,
                                 hs::Type::FatalError,
                                 hs::Type::Error,
                                 hs::Type::Interrupted,
                                 hs::Type::AsyncLockResponse,
                                 hs::Type::AsyncRemoteLocalResponse};

// One channel to the server the fuzzer plays.
class FuzzedServer final : public fuzzing::FakeTransport {
public:
    explicit FuzzedServer(FuzzedDataProvider& in) : FakeTransport(in, 10, Step::Silence) {}

private:
    std::string bytes(int move) override {
        if (move == 2) return in_.ConsumeRandomLengthString(64);
        const hs::Type type = in_.PickValueInArray(kReplies);
        const auto control = in_.ConsumeIntegral<std::uint8_t>();
        const std::uint32_t parameter =
            in_.ConsumeBool() ? hs::kFirstMessageId + 2 * in_.ConsumeIntegralInRange(0, 8)
                              : in_.ConsumeIntegral<std::uint32_t>();
        const std::string payload =
            type == hs::Type::AsyncMaximumMessageSizeResponse
                ? hs::encodeSize(in_.ConsumeIntegralInRange<std::uint64_t>(0, 1 << 20))
                : in_.ConsumeRandomLengthString(300);
        return hs::encode(type, control, parameter, payload);
    }
};

void client(FuzzedDataProvider& in) {
    int connections = 0;
    std::string error;
    const std::string args = in.ConsumeBool() ? "fuzz/gpib0" : "fuzz";
    auto client = hs::HislipClient::openWith(
        args,
        [&](std::string& why) -> std::unique_ptr<bus::adapter::Transport> {
            // A few reconnections, then the server is gone.
            if (++connections > 8) {
                why = "fuzz: connection refused";
                return nullptr;
            }
            return std::make_unique<FuzzedServer>(in);
        },
        error);
    if (!client) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    using fuzzing::Call;
    fuzzing::CallSet set{{Call::MakeDevice, Call::Write, Call::Read, Call::SerialPoll,
                          Call::FindListeners, Call::Clear, Call::RemoteEnable, Call::Wait}};
    set.pickTimeout = false;
    set.pickListenerLimit = false;
    set.checkPollCount = false;
    fuzzing::runDriverCalls(*client, in, set);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        readerOnly(in);
    else
        client(in);
    return 0;
}
