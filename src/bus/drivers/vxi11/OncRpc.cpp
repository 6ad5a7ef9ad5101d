#include "bus/drivers/vxi11/OncRpc.h"

namespace bus::vxi11 {

namespace {

constexpr std::uint32_t kCall = 0;
constexpr std::uint32_t kReply = 1;
constexpr std::uint32_t kAccepted = 0;
constexpr std::uint32_t kAuthNone = 0;
// RFC 5531 caps an authenticator's body at 400 bytes.
constexpr std::size_t kMaxAuthBody = 400;
constexpr std::uint32_t kLastFragment = 0x80000000u;

bool skipAuth(XdrReader& in) {
    std::uint32_t flavor = 0;
    std::string_view body;
    return in.u32(flavor) && in.opaqueView(body, kMaxAuthBody);
}

} // namespace

XdrWriter& XdrWriter::u32(std::uint32_t value) {
    const char word[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                          static_cast<char>(value >> 8), static_cast<char>(value)};
    bytes_.append(word, 4);
    return *this;
}

XdrWriter& XdrWriter::opaque(std::string_view bytes) {
    u32(static_cast<std::uint32_t>(bytes.size()));
    bytes_.append(bytes);
    bytes_.append((4 - bytes.size() % 4) % 4, '\0');
    return *this;
}

bool XdrReader::u32(std::uint32_t& value) {
    if (!ok_ || bytes_.size() - at_ < 4) return fail();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + at_);
    value = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
            std::uint32_t{p[3]};
    at_ += 4;
    return true;
}

bool XdrReader::i32(std::int32_t& value) {
    std::uint32_t word = 0;
    if (!u32(word)) return false;
    value = static_cast<std::int32_t>(word);
    return true;
}

bool XdrReader::opaqueView(std::string_view& value, std::size_t maxSize) {
    std::uint32_t size = 0;
    if (!u32(size) || size > maxSize) return fail();
    const std::size_t padded = (std::size_t{size} + 3) / 4 * 4;
    if (bytes_.size() - at_ < padded) return fail();
    value = bytes_.substr(at_, size);
    at_ += padded;
    return true;
}

bool XdrReader::opaque(std::string& value, std::size_t maxSize) {
    std::string_view view;
    if (!opaqueView(view, maxSize)) return false;
    value.assign(view);
    return true;
}

XdrWriter rpcCall(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                  std::uint32_t procedure) {
    XdrWriter out;
    out.u32(xid).u32(kCall).u32(kRpcVersion).u32(program).u32(version).u32(procedure);
    out.u32(kAuthNone).opaque({}).u32(kAuthNone).opaque({});
    return out;
}

bool readRpcCall(XdrReader& in, RpcCall& call, std::string& error) {
    std::uint32_t type = 0, rpcVersion = 0;
    if (!in.u32(call.xid) || !in.u32(type) || type != kCall || !in.u32(rpcVersion) ||
        !in.u32(call.program) || !in.u32(call.version) || !in.u32(call.procedure) ||
        !skipAuth(in) || !skipAuth(in)) {
        error = "not an RPC call";
        return false;
    }
    if (rpcVersion != kRpcVersion) {
        error = "RPC version " + std::to_string(rpcVersion) + " instead of 2";
        return false;
    }
    return true;
}

XdrWriter rpcReply(std::uint32_t xid, AcceptStat stat) {
    XdrWriter out;
    out.u32(xid).u32(kReply).u32(kAccepted).u32(kAuthNone).opaque({});
    out.u32(static_cast<std::uint32_t>(stat));
    return out;
}

ReplyCheck readRpcReply(XdrReader& in, std::uint32_t xid, std::string& error) {
    std::uint32_t got = 0, type = 0, replyStat = 0;
    if (!in.u32(got) || !in.u32(type) || type != kReply) {
        error = "the answer is not an RPC reply";
        return ReplyCheck::Failed;
    }
    if (got != xid) return ReplyCheck::OtherCall;
    if (!in.u32(replyStat)) {
        error = "the RPC reply is cut short";
        return ReplyCheck::Failed;
    }
    if (replyStat != kAccepted) {
        std::uint32_t reject = 0;
        in.u32(reject);
        error = reject == 0 ? "the call was denied: RPC version mismatch"
                            : "the call was denied: authentication refused";
        return ReplyCheck::Failed;
    }
    std::uint32_t stat = 0;
    if (!skipAuth(in) || !in.u32(stat)) {
        error = "the RPC reply is cut short";
        return ReplyCheck::Failed;
    }
    switch (static_cast<AcceptStat>(stat)) {
    case AcceptStat::Success:
        return ReplyCheck::Results;
    case AcceptStat::ProgramUnavailable:
        error = "program unavailable";
        break;
    case AcceptStat::ProgramMismatch:
        error = "program version unavailable";
        break;
    case AcceptStat::ProcedureUnavailable:
        error = "procedure unavailable";
        break;
    case AcceptStat::GarbageArguments:
        error = "the server could not decode the arguments";
        break;
    case AcceptStat::SystemError:
        error = "system error on the server";
        break;
    default:
        error = "unknown accept status " + std::to_string(stat);
        break;
    }
    return ReplyCheck::Failed;
}

std::string recordOf(std::string_view message) {
    // One fragment is enough: no message here comes near 2 GiB.
    XdrWriter mark;
    mark.u32(kLastFragment | static_cast<std::uint32_t>(message.size()));
    std::string record = mark.take();
    record.append(message);
    return record;
}

RecordReader::Status RecordReader::next(std::string& record, std::string& error) {
    if (!error_.empty()) {
        error = error_;
        return Status::Failed;
    }
    for (;;) {
        if (buffer_.size() - at_ < 4) break;
        XdrReader markReader(std::string_view(buffer_).substr(at_, 4));
        std::uint32_t mark = 0;
        markReader.u32(mark);
        const std::size_t length = mark & ~kLastFragment;
        const bool last = (mark & kLastFragment) != 0;
        if (length > maxRecord_ || partial_.size() + length > maxRecord_) {
            error = error_ = "a record of more than " + std::to_string(maxRecord_) + " bytes";
            return Status::Failed;
        }
        if (length == 0 && !last) {
            error = error_ = "an empty record fragment";
            return Status::Failed;
        }
        if (buffer_.size() - at_ - 4 < length) break;
        partial_.append(buffer_, at_ + 4, length);
        at_ += 4 + length;
        if (last) {
            record = std::move(partial_);
            partial_.clear();
            if (at_ == buffer_.size()) {
                buffer_.clear();
                at_ = 0;
            }
            return Status::Record;
        }
    }
    // Keep the buffer from growing with what was already taken.
    if (at_ > 0) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    return Status::NeedMore;
}

void RecordReader::reset() {
    buffer_.clear();
    partial_.clear();
    at_ = 0;
    error_.clear();
}

} // namespace bus::vxi11
