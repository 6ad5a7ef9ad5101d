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
    explicit FuzzedServer(FuzzedDataProvider& in) : in_(in) {}

private:
    Step next(std::string& bytes) override {
        if (in_.remaining_bytes() == 0) return Step::Silence;
        switch (in_.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return Step::Drop;
        case 1:
            return Step::Silence;
        case 2:
            bytes = in_.ConsumeRandomLengthString(64);
            break;
        default: {
            const hs::Type type = in_.PickValueInArray(kReplies);
            const auto control = in_.ConsumeIntegral<std::uint8_t>();
            const std::uint32_t parameter =
                in_.ConsumeBool() ? hs::kFirstMessageId + 2 * in_.ConsumeIntegralInRange(0, 8)
                                  : in_.ConsumeIntegral<std::uint32_t>();
            const std::string payload =
                type == hs::Type::AsyncMaximumMessageSizeResponse
                    ? hs::encodeSize(in_.ConsumeIntegralInRange<std::uint64_t>(0, 1 << 20))
                    : in_.ConsumeRandomLengthString(300);
            bytes = hs::encode(type, control, parameter, payload);
            break;
        }
        }
        return Step::Bytes;
    }

    FuzzedDataProvider& in_;
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
    fuzzing::DriverCalls calls(*client, in);
    bus::Driver& d = calls.d;
    calls.run([&](std::int32_t ud) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(0, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            calls.keep(d.ibdev(0, pad, sad, bus::T1s, in.ConsumeBool(), 0));
            break;
        }
        case 1:
            calls.write(ud, 64);
            break;
        case 2:
            calls.read(ud);
            break;
        case 3: {
            char status = 0;
            d.ibrsp(ud, &status);
            break;
        }
        case 4:
            calls.findListeners(31);
            break;
        case 5:
            d.ibclr(ud);
            break;
        case 6:
            d.ibsre(0, in.ConsumeBool());
            break;
        default:
            d.ibwait(ud, bus::RQS | bus::CMPL);
            break;
        }
    });
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
