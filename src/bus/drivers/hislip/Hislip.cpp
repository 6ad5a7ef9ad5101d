#include "bus/drivers/hislip/Hislip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace bus::hislip {

namespace {

void putBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t bigEndian(const char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | static_cast<unsigned char>(at[i]);
    return value;
}

constexpr const char* kTypeNames[] = {"Initialize",
                                      "InitializeResponse",
                                      "FatalError",
                                      "Error",
                                      "AsyncLock",
                                      "AsyncLockResponse",
                                      "Data",
                                      "DataEnd",
                                      "DeviceClearComplete",
                                      "DeviceClearAcknowledge",
                                      "AsyncRemoteLocalControl",
                                      "AsyncRemoteLocalResponse",
                                      "Trigger",
                                      "Interrupted",
                                      "AsyncInterrupted",
                                      "AsyncMaximumMessageSize",
                                      "AsyncMaximumMessageSizeResponse",
                                      "AsyncInitialize",
                                      "AsyncInitializeResponse",
                                      "AsyncDeviceClear",
                                      "AsyncServiceRequest",
                                      "AsyncStatusQuery",
                                      "AsyncStatusResponse",
                                      "AsyncDeviceClearAcknowledge",
                                      "AsyncLockInfo",
                                      "AsyncLockInfoResponse",
                                      "GetDescriptors",
                                      "GetDescriptorsResponse"};

// The start of what came, shown safely in an error message.
std::string shownStart(const char* at, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 16); ++i) {
        const auto b = static_cast<unsigned char>(at[i]);
        if (b >= 0x20 && b < 0x7F && b != '"') {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            text += hex;
        }
    }
    return size > 16 ? text + "..." : text;
}

} // namespace

void appendHeader(std::string& out, Type type, std::uint8_t control, std::uint32_t parameter,
                  std::uint64_t length) {
    out += "HS";
    out += static_cast<char>(type);
    out += static_cast<char>(control);
    putBigEndian(out, parameter, 4);
    putBigEndian(out, length, 8);
}

std::string encode(Type type, std::uint8_t control, std::uint32_t parameter,
                   std::string_view payload) {
    std::string out;
    out.reserve(kHeaderSize + payload.size());
    appendHeader(out, type, control, parameter, payload.size());
    out += payload;
    return out;
}

std::string encodeSize(std::uint64_t size) {
    std::string out;
    putBigEndian(out, size, 8);
    return out;
}

bool decodeSize(std::string_view payload, std::uint64_t& size) {
    if (payload.size() != 8) return false;
    size = bigEndian(payload.data(), 8);
    return true;
}

std::string typeName(std::uint8_t type) {
    if (type < std::size(kTypeNames)) return kTypeNames[type];
    if (type >= static_cast<std::uint8_t>(Type::FirstVendor))
        return "vendor message " + std::to_string(type);
    return "message type " + std::to_string(type);
}

std::string fatalErrorText(std::uint8_t code) {
    switch (code) {
    case kFatalBadHeader:
        return "poorly formed message header";
    case kFatalNoChannels:
        return "a channel used before both were set up";
    case kFatalBadInitialization:
        return "invalid initialization sequence";
    case kFatalTooManyClients:
        return "too many clients";
    case 5:
        return "secure connection failed";
    default:
        return code >= 128 ? "device error " + std::to_string(code) : "unidentified error";
    }
}

std::string errorText(std::uint8_t code) {
    switch (code) {
    case kErrorUnknownType:
        return "unrecognized message type";
    case kErrorUnknownControl:
        return "unrecognized control code";
    case kErrorUnknownVendor:
        return "unrecognized vendor message";
    case kErrorTooLarge:
        return "message too large";
    default:
        return code >= 128 ? "device error " + std::to_string(code) : "unidentified error";
    }
}

char* MessageReader::space(std::size_t size) {
    if (start_ > 0 && (start_ == used_ || start_ * 2 >= used_)) {
        std::memmove(buffer_.data(), buffer_.data() + start_, used_ - start_);
        used_ -= start_;
        start_ = 0;
    }
    if (buffer_.size() < used_ + size) buffer_.resize(used_ + size);
    return buffer_.data() + used_;
}

void MessageReader::commit(std::size_t size) {
    used_ = std::min(used_ + size, buffer_.size());
}

void MessageReader::append(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(space(bytes.size()), bytes.data(), bytes.size());
    commit(bytes.size());
}

MessageReader::Status MessageReader::next(Message& message) {
    if (failed()) return Status::Bad;
    const std::size_t have = used_ - start_;
    const char* at = buffer_.data() + start_;
    // A wrong prologue is known as soon as its bytes are here.
    if ((have >= 1 && at[0] != 'H') || (have >= 2 && at[1] != 'S')) {
        error_ = "\"" + shownStart(at, have) + "\" came where a message begins with \"HS\"";
        return Status::Bad;
    }
    if (have < kHeaderSize) return Status::NeedMore;
    Header header;
    header.type = static_cast<std::uint8_t>(at[2]);
    header.control = static_cast<std::uint8_t>(at[3]);
    header.parameter = static_cast<std::uint32_t>(bigEndian(at + 4, 4));
    header.length = bigEndian(at + 8, 8);
    if (header.type > static_cast<std::uint8_t>(Type::LastStandard) &&
        header.type < static_cast<std::uint8_t>(Type::FirstVendor)) {
        error_ = "unknown " + typeName(header.type);
        return Status::Bad;
    }
    if (header.length > maxPayload_) {
        error_ = typeName(header.type) + " with " + std::to_string(header.length) +
                 " bytes, more than the " + std::to_string(maxPayload_) + " agreed";
        return Status::Bad;
    }
    if (have - kHeaderSize < header.length) return Status::NeedMore;
    message.header = header;
    message.payload.assign(at + kHeaderSize, static_cast<std::size_t>(header.length));
    start_ += kHeaderSize + static_cast<std::size_t>(header.length);
    return Status::Message;
}

void MessageReader::reset() {
    start_ = used_ = 0;
    error_.clear();
}

} // namespace bus::hislip
