// HiSLIP: the message reader fed any bytes in any pieces, and the client fed
// whatever a server could send on either channel (whole messages of any
// type, stray bytes, silence, drops) through the driver calls the console
// makes. No crash, no undefined behaviour, nothing held past the limit,
// counts within what was asked, every call's status complete. The fake
// server answers at once and falls silent when the input runs out.
#include "Check.h"
#include "bus/drivers/hislip/Hislip.h"
#include "bus/drivers/hislip/HislipClient.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

constexpr hs::Type kReplies[] = {
    hs::Type::InitializeResponse, hs::Type::AsyncInitializeResponse,
    hs::Type::AsyncMaximumMessageSizeResponse, hs::Type::Data, hs::Type::DataEnd,
    hs::Type::AsyncStatusResponse, hs::Type::AsyncDeviceClearAcknowledge,
    hs::Type::DeviceClearAcknowledge, hs::Type::AsyncServiceRequest, hs::Type::FatalError,
    hs::Type::Error, hs::Type::Interrupted, hs::Type::AsyncLockResponse,
    hs::Type::AsyncRemoteLocalResponse};

// One channel to the server the fuzzer plays.
class FuzzedServer final : public bus::adapter::Transport {
public:
    explicit FuzzedServer(FuzzedDataProvider& in) : in_(in) {}

    bool send(const char*, std::size_t, int) override { return !failed_; }
    long receive(char* buffer, std::size_t size, int) override {
        if (failed_) return -1;
        if (queued_.empty()) {
            if (in_.remaining_bytes() == 0) return 0;
            switch (in_.ConsumeIntegralInRange(0, 9)) {
            case 0:
                failed_ = true;
                return -1;
            case 1:
                return 0;
            case 2:
                queued_ = in_.ConsumeRandomLengthString(64);
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
                queued_ = hs::encode(type, control, parameter, payload);
                break;
            }
            }
        }
        const std::size_t n = std::min(size, queued_.size());
        std::memcpy(buffer, queued_.data(), n);
        queued_.erase(0, n);
        return static_cast<long>(n);
    }
    void discardInput() override { queued_.clear(); }

private:
    FuzzedDataProvider& in_;
    std::string queued_;
    bool failed_ = false;
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
    bus::Driver& d = *client;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    d.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    std::vector<std::int32_t> descriptors;
    for (int calls = 0; calls < 64 && in.remaining_bytes() > 0; ++calls) {
        const std::int32_t ud =
            descriptors.empty()
                ? 32
                : descriptors[in.ConsumeIntegralInRange<std::size_t>(0, descriptors.size() - 1)];
        sta = 0;
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(0, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            const std::int32_t made = d.ibdev(0, pad, sad, bus::T1s, in.ConsumeBool(), 0);
            if (made > 0) descriptors.push_back(made);
            break;
        }
        case 1: {
            const std::string message = in.ConsumeRandomLengthString(64);
            d.ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
            FUZZ_CHECK(cntl >= 0 && cntl <= static_cast<std::int32_t>(message.size()));
            break;
        }
        case 2: {
            // Exactly the size asked, so a byte too many is a heap overflow.
            const auto asked = in.ConsumeIntegralInRange<std::int32_t>(0, 300);
            std::vector<char> buffer(static_cast<std::size_t>(asked));
            d.ibrd(ud, buffer.data(), asked);
            FUZZ_CHECK(cntl >= 0 && cntl <= asked);
            break;
        }
        case 3: {
            char status = 0;
            d.ibrsp(ud, &status);
            break;
        }
        case 4: {
            bus::Addr4882 probes[32], found[31] = {};
            for (int a = 0; a <= 30; ++a)
                probes[a] = static_cast<bus::Addr4882>(a);
            probes[31] = bus::NOADDR;
            d.FindLstn(0, probes, found, 31);
            FUZZ_CHECK(cntl >= 0 && cntl <= 31);
            if (sta & bus::ERR) d.startupAdvice(err, cntl);
            break;
        }
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
        FUZZ_CHECK((sta & bus::CMPL) != 0);
    }
    d.UnregisterGpibGlobalsForThread();
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
