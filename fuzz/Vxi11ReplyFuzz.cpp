// The VXI-11 back end reading whatever a server could send back: portmapper
// and core channel replies well-formed or not, replies to other calls,
// record marks of any length, bodies cut short or too long, and dropped
// connections, through the driver calls the console makes. No crash, no
// undefined behaviour, counts within what was asked, every call's status
// complete. The server answers at once and drops the connection when the
// data runs out, so no call waits for the clock.
#include "Check.h"
#include "bus/drivers/vxi11/Vxi11Client.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using bus::vxi11::Vxi11Client;
using bus::vxi11::XdrWriter;

// One connection to the server the fuzzer plays. Each receive takes the
// next piece of the input: a drop, silence, a reply to the last call (its
// results from the input), another call's reply, a refusal, or any bytes.
class FuzzedServer final : public bus::adapter::Transport {
public:
    explicit FuzzedServer(FuzzedDataProvider& in) : in_(in) {}

    bool send(const char* data, std::size_t size, int) override {
        // The xid of the call just sent follows the record mark.
        if (size >= 8) {
            const auto* p = reinterpret_cast<const unsigned char*>(data) + 4;
            xid_ = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                   std::uint32_t{p[2]} << 8 | p[3];
        }
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int) override {
        if (failed_) return -1;
        if (queued_.empty()) {
            if (in_.remaining_bytes() == 0) return failed_ = true, -1;
            switch (in_.ConsumeIntegralInRange(0, 7)) {
            case 0:
                failed_ = true;
                return -1;
            case 1:
                return 0;
            case 2:
            case 3: {
                XdrWriter reply = bus::vxi11::rpcReply(xid_);
                // An error code VXI-11 knows, most often none, then words.
                reply.i32(in_.ConsumeBool() ? 0 : in_.ConsumeIntegralInRange(0, 30));
                for (int words = in_.ConsumeIntegralInRange(0, 4); words > 0; --words)
                    reply.u32(in_.ConsumeIntegral<std::uint32_t>());
                if (in_.ConsumeBool()) reply.opaque(in_.ConsumeRandomLengthString(300));
                queued_ = bus::vxi11::recordOf(reply.bytes());
                break;
            }
            case 4:
                queued_ = bus::vxi11::recordOf(
                    bus::vxi11::rpcReply(xid_ + in_.ConsumeIntegralInRange(1, 3)).i32(0).bytes());
                break;
            case 5:
                queued_ = bus::vxi11::recordOf(
                    bus::vxi11::rpcReply(
                        xid_, static_cast<bus::vxi11::AcceptStat>(in_.ConsumeIntegralInRange(1, 6)))
                        .bytes());
                break;
            default:
                queued_ = in_.ConsumeRandomLengthString(256);
                break;
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
    std::uint32_t xid_ = 0;
    bool failed_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool gateway = in.ConsumeBool();
    int connections = 0;
    std::string error;
    auto client = Vxi11Client::openWith(
        gateway ? "fuzz-gw/gpib0" : "fuzz-gw",
        [&](const std::string&, int, std::string& why) -> std::unique_ptr<bus::adapter::Transport> {
            // A few reconnections, then the host is gone.
            if (++connections > 8) {
                why = "fuzz-gw: connection refused";
                return nullptr;
            }
            return std::make_unique<FuzzedServer>(in);
        },
        false, error);
    if (!client) {
        FUZZ_CHECK(!error.empty());
        return 0;
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
        switch (in.ConsumeIntegralInRange(0, 8)) {
        case 0: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(1, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            const auto tmo = in.ConsumeIntegralInRange<std::int32_t>(0, 17);
            const std::int32_t eos = in.ConsumeBool() ? 0x40A : 0;
            const std::int32_t made = d.ibdev(0, pad, sad, tmo, in.ConsumeBool(), eos);
            if (made > 0) descriptors.push_back(made);
            break;
        }
        case 1: {
            // Longer than the smallest piece a server may take at once.
            const std::string message = in.ConsumeRandomLengthString(2100);
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
            FUZZ_CHECK(cntl >= 0 && cntl <= 1);
            break;
        }
        case 4: {
            bus::Addr4882 probes[32], found[31] = {};
            for (int a = 0; a <= 30; ++a)
                probes[a] = static_cast<bus::Addr4882>(a);
            probes[31] = bus::NOADDR;
            const auto limit = in.ConsumeIntegralInRange<std::int32_t>(1, 31);
            d.FindLstn(0, probes, found, limit);
            FUZZ_CHECK(cntl >= 0 && cntl <= limit);
            if (sta & bus::ERR) d.startupAdvice(err, cntl);
            break;
        }
        case 5:
            d.ibclr(ud);
            break;
        case 6:
            d.DevClear(0, in.ConsumeBool()
                              ? bus::NOADDR
                              : static_cast<bus::Addr4882>(in.ConsumeIntegralInRange(0, 30)));
            break;
        case 7:
            d.ibsre(0, in.ConsumeBool());
            break;
        default:
            d.ibwait(ud, bus::RQS | bus::CMPL);
            break;
        }
        FUZZ_CHECK((sta & bus::CMPL) != 0);
    }
    d.UnregisterGpibGlobalsForThread();
    return 0;
}
