// What a VXI-11 client or a portmapper client could send the gateway:
// arbitrary bytes cut into arbitrary pieces, collected into records with a
// bound, each decoded as a core-channel call, an abort-channel call and a
// portmapper call, without sockets. No crash, no undefined behaviour, no
// record over the bound, and a decoded call keeps its views inside the
// record.
#include "Check.h"
#include "Portmapper.h"
#include "Vxi11Calls.h"
#include "bus/drivers/vxi11/OncRpc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // A small bound, so records over it are reached too.
    const std::size_t bound = in.ConsumeIntegralInRange<std::size_t>(16, 4096);
    bus::vxi11::RecordReader reader(bound);
    const std::vector<serve::portmap::Mapping> mappings = {
        {serve::vxi11::kCoreProgram, serve::vxi11::kVxi11Version, bus::vxi11::kProtocolTcp, 1024}};
    while (in.remaining_bytes() > 0) {
        const std::string piece = in.ConsumeRandomLengthString(512);
        reader.feed(piece.data(), piece.size());
        std::string record, error;
        bus::vxi11::RecordReader::Status status;
        while ((status = reader.next(record, error)) == bus::vxi11::RecordReader::Status::Record) {
            FUZZ_CHECK(record.size() <= bound);
            for (const bool abortChannel : {false, true}) {
                serve::vxi11::CoreCall call;
                if (serve::vxi11::decodeCall(record, abortChannel, call) ==
                    serve::vxi11::Decoded::Call) {
                    FUZZ_CHECK(call.data.empty() || (call.data.data() >= record.data() &&
                                                     call.data.data() + call.data.size() <=
                                                         record.data() + record.size()));
                    FUZZ_CHECK(call.device.size() <= 256 && call.handle.size() <= 40);
                    int pad = 0, sad = 0;
                    if (serve::vxi11::parseDeviceName(call.device, pad, sad))
                        FUZZ_CHECK(pad >= -1 && pad <= 30 && sad >= 0 && sad <= 30);
                }
            }
            serve::portmap::answer(record, mappings, "127.0.0.1");
        }
        if (status == bus::vxi11::RecordReader::Status::Failed) {
            FUZZ_CHECK(!error.empty());
            break;
        }
    }
    return 0;
}
