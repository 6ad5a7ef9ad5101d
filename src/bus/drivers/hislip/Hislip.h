#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// HiSLIP (IVI-6.1) messages: a 16-byte header ("HS", the message type, a
// control code, a 32-bit parameter and a 64-bit payload length, big-endian)
// and the payload. Every byte a peer sends is read with a bound.
namespace bus::hislip {

enum class Type : std::uint8_t {
    Initialize = 0,
    InitializeResponse = 1,
    FatalError = 2,
    Error = 3,
    AsyncLock = 4,
    AsyncLockResponse = 5,
    Data = 6,
    DataEnd = 7,
    DeviceClearComplete = 8,
    DeviceClearAcknowledge = 9,
    AsyncRemoteLocalControl = 10,
    AsyncRemoteLocalResponse = 11,
    Trigger = 12,
    Interrupted = 13,
    AsyncInterrupted = 14,
    AsyncMaximumMessageSize = 15,
    AsyncMaximumMessageSizeResponse = 16,
    AsyncInitialize = 17,
    AsyncInitializeResponse = 18,
    AsyncDeviceClear = 19,
    AsyncServiceRequest = 20,
    AsyncStatusQuery = 21,
    AsyncStatusResponse = 22,
    AsyncDeviceClearAcknowledge = 23,
    AsyncLockInfo = 24,
    AsyncLockInfoResponse = 25,
    GetDescriptors = 26,
    GetDescriptorsResponse = 27,
    // 28 to 38 are the secure connection's messages; 128 and up are a
    // vendor's own.
    LastStandard = 38,
    FirstVendor = 128,
};

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::uint16_t kProtocolVersion = 0x0200; // 2.0
// Client message ids start here and count up by two.
inline constexpr std::uint32_t kFirstMessageId = 0xFFFFFF00u;
inline constexpr int kDefaultPort = 4880;
// The largest payload any of our readers takes, whatever was negotiated.
inline constexpr std::uint64_t kMaxPayload = 64ull * 1024 * 1024;

// Fatal error codes (FatalError's control code).
inline constexpr std::uint8_t kFatalUnidentified = 0;
inline constexpr std::uint8_t kFatalBadHeader = 1;
inline constexpr std::uint8_t kFatalNoChannels = 2;
inline constexpr std::uint8_t kFatalBadInitialization = 3;
inline constexpr std::uint8_t kFatalTooManyClients = 4;
// Error codes (Error's control code).
inline constexpr std::uint8_t kErrorUnidentified = 0;
inline constexpr std::uint8_t kErrorUnknownType = 1;
inline constexpr std::uint8_t kErrorUnknownControl = 2;
inline constexpr std::uint8_t kErrorUnknownVendor = 3;
inline constexpr std::uint8_t kErrorTooLarge = 4;

// Data, DataEnd, Trigger and AsyncStatusQuery: the client has read a whole
// answer since its last such message.
inline constexpr std::uint8_t kRmtDelivered = 0x01;

struct Header {
    std::uint8_t type = 0;
    std::uint8_t control = 0;
    std::uint32_t parameter = 0;
    std::uint64_t length = 0;
};

struct Message {
    Header header;
    std::string payload;
    Type type() const { return static_cast<Type>(header.type); }
};

// The message's bytes.
std::string encode(Type type, std::uint8_t control, std::uint32_t parameter,
                   std::string_view payload = {});
void appendHeader(std::string& out, Type type, std::uint8_t control, std::uint32_t parameter,
                  std::uint64_t length);
// An 8-byte big-endian number, as AsyncMaximumMessageSize carries it.
std::string encodeSize(std::uint64_t size);
bool decodeSize(std::string_view payload, std::uint64_t& size);

// The name of a message type for an error message ("DataEnd", "type 77").
std::string typeName(std::uint8_t type);
// Fatal error and error codes in words.
std::string fatalErrorText(std::uint8_t code);
std::string errorText(std::uint8_t code);

// Takes the bytes of one connection as they arrive and hands out whole
// messages. A bad prologue, a type that is neither standard nor a vendor's,
// or a payload longer than the limit fails the reader for good: the
// connection is out of step and must be closed.
class MessageReader {
public:
    enum class Status { Message, NeedMore, Bad };

    explicit MessageReader(std::uint64_t maxPayload = kMaxPayload) : maxPayload_(maxPayload) {}
    void setMaxPayload(std::uint64_t maxPayload) {
        maxPayload_ = std::min(maxPayload, kMaxPayload);
    }

    // Room for at least `size` more bytes; commit() says how many arrived.
    char* space(std::size_t size);
    void commit(std::size_t size);
    void append(std::string_view bytes);

    // The next whole message, NeedMore, or Bad with why in error().
    Status next(Message& message);
    const std::string& error() const { return error_; }
    bool failed() const { return !error_.empty(); }
    // Bytes held that are not handed out yet.
    std::size_t buffered() const { return used_ - start_; }
    void reset();

private:
    std::string buffer_;
    std::size_t start_ = 0, used_ = 0;
    std::uint64_t maxPayload_;
    std::string error_;
};

} // namespace bus::hislip
