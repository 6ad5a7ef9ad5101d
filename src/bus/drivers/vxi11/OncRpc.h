#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ONC RPC as VXI-11 and the portmapper use it: XDR values (RFC 4506), call
// and reply headers with AUTH_NONE, and the record marking of RPC over TCP
// (RFC 5531). Small on purpose: Windows has no RPC library, and every byte
// a peer sends is read with a bound.
namespace bus::vxi11 {

// Appends XDR values: big-endian 32-bit words, variable-length opaque data
// and strings padded to a multiple of four.
class XdrWriter {
public:
    XdrWriter& u32(std::uint32_t value);
    XdrWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    XdrWriter& opaque(std::string_view bytes); // length, bytes, padding
    const std::string& bytes() const { return bytes_; }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

// Reads XDR values from a message. A read past the end, or opaque data
// longer than its caller allows, fails the reader for good: every later
// read fails too, so a caller may check once at the end.
class XdrReader {
public:
    explicit XdrReader(std::string_view bytes) : bytes_(bytes) {}
    bool u32(std::uint32_t& value);
    bool i32(std::int32_t& value);
    // Variable-length opaque data of at most maxSize bytes.
    bool opaque(std::string& value, std::size_t maxSize);
    // Opaque data without a copy; valid while the message is.
    bool opaqueView(std::string_view& value, std::size_t maxSize);
    bool ok() const { return ok_; }
    std::size_t left() const { return ok_ ? bytes_.size() - at_ : 0; }

private:
    bool fail() { return ok_ = false; }
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

inline constexpr std::uint32_t kRpcVersion = 2;
inline constexpr std::uint32_t kPortmapperProgram = 100000;
inline constexpr std::uint32_t kPortmapperVersion = 2;
inline constexpr std::uint32_t kPortmapperGetPort = 3;
inline constexpr std::uint32_t kProtocolTcp = 6;
inline constexpr std::uint32_t kProtocolUdp = 17;

// The start of a call: xid, CALL, RPC version 2, program, version,
// procedure, and AUTH_NONE credentials and verifier. The caller appends the
// arguments.
XdrWriter rpcCall(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                  std::uint32_t procedure);

// What a server reads from the start of a call.
struct RpcCall {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
};
// Reads a call's header and skips its credentials and verifier; false with
// the reason when the message is not an RPC version 2 call.
bool readRpcCall(XdrReader& in, RpcCall& call, std::string& error);

// How a server accepted a call (RFC 5531 accept_stat).
enum class AcceptStat : std::uint32_t {
    Success = 0,
    ProgramUnavailable = 1,
    ProgramMismatch = 2, // followed by the lowest and highest version
    ProcedureUnavailable = 3,
    GarbageArguments = 4,
    SystemError = 5,
};
// The start of an accepted reply; for Success the caller appends the results.
XdrWriter rpcReply(std::uint32_t xid, AcceptStat stat = AcceptStat::Success);

// Reads a reply's header. Returns true for an accepted, successful reply
// with the results left in `in`; false with the reason otherwise. A reply
// whose xid is not `xid` is "another call's reply": the caller skips it.
enum class ReplyCheck { Results, OtherCall, Failed };
ReplyCheck readRpcReply(XdrReader& in, std::uint32_t xid, std::string& error);

// RPC over TCP sends each message as a record of fragments, each after a
// 4-byte mark: the last-fragment bit and a 31-bit length.
std::string recordOf(std::string_view message);

// Collects records from the bytes a stream brings, in whatever pieces they
// come. A record longer than maxRecord, or an empty fragment that is not
// the last, is an error; the reader stays failed.
class RecordReader {
public:
    explicit RecordReader(std::size_t maxRecord) : maxRecord_(maxRecord) {}
    void feed(const char* data, std::size_t size) { buffer_.append(data, size); }
    enum class Status { NeedMore, Record, Failed };
    // The next whole record, if there is one.
    Status next(std::string& record, std::string& error);
    // Bytes fed and not yet part of a whole record.
    std::size_t pending() const { return buffer_.size() - at_ + partial_.size(); }
    void reset();

private:
    std::size_t maxRecord_;
    std::string buffer_; // fed bytes, from at_ on not yet taken
    std::size_t at_ = 0;
    std::string partial_; // the fragments so far of the record being read
    std::string error_;
};

} // namespace bus::vxi11
