#include "bus/drivers/adapter/PlusPlusAdapter.h"

#include "bus/AsciiText.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <thread>

namespace bus::adapter {

const AdapterKind kPrologix{"Prologix", 1234, true, false, false, false, "prologix"};
const AdapterKind kAr488{"AR488", 1234, false, true, true, true, "ar488"};

namespace {

constexpr char kEsc = '\x1B';
constexpr int kIdentifyMs = 2000;
constexpr int kAfterOtherMs = 300;
// How often a read that may be stopped looks whether it is to stop.
constexpr int kStopLookMs = 100;
// A reply to a command is a line or two; more than this is not an adapter.
constexpr std::size_t kMaxReply = 64 * 1024;
constexpr std::size_t kReceiveChunk = 64 * 1024;

std::string addressText(std::int32_t pad, std::int32_t sad) {
    return std::to_string(pad) + (sad != 0 ? " " + std::to_string(sad) : "");
}

// A read of no bytes may come with no buffer at all.
void copyOut(char* to, const char* from, std::size_t n) {
    if (n > 0) std::memcpy(to, from, n);
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

} // namespace

std::string escapeData(std::string_view data) {
    std::string escaped;
    escaped.reserve(data.size() + data.size() / 8 + 1);
    for (const char c : data) {
        if (c == '\r' || c == '\n' || c == kEsc || c == '+') escaped += kEsc;
        escaped += c;
    }
    return escaped;
}

PlusPlusAdapter::PlusPlusAdapter(const AdapterKind& kind, std::string where, Connector connector)
    : kind_(kind), where_(std::move(where)), connector_(std::move(connector)) {}

PlusPlusAdapter::~PlusPlusAdapter() = default;

std::unique_ptr<PlusPlusAdapter>
PlusPlusAdapter::open(const AdapterKind& kind, const std::string& where, std::string& error) {
    AdapterAddress address = parseAdapterAddress(where, kind.defaultTcpPort, error);
    if (!error.empty()) return nullptr;
    return openWith(
        kind, where, [address](std::string& why) { return openTransport(address, why); }, error);
}

std::unique_ptr<PlusPlusAdapter> PlusPlusAdapter::openWith(const AdapterKind& kind,
                                                           const std::string& where,
                                                           Connector connector,
                                                           std::string& error) {
    std::unique_ptr<PlusPlusAdapter> adapter(
        new PlusPlusAdapter(kind, where, std::move(connector)));
    // Two questions for the version and the set-up.
    adapter->startCall(3 * kIdentifyMs);
    if (!adapter->connect(error)) return nullptr;
    return adapter;
}

std::string PlusPlusAdapter::description() const {
    return std::string(kind_.name) + " on " + where_;
}

std::string PlusPlusAdapter::version() const {
    return std::string(platform::trimSpaces(versionLine_, platform::kWhiteSpace));
}

std::string PlusPlusAdapter::startupAdvice(std::int32_t iberr, std::int32_t) {
    if (iberr != ENEB || transport_) return {};
    return "The " + std::string(kind_.name) + " adapter on " + where_ + " stopped answering.";
}

int PlusPlusAdapter::leftMs() const {
    return remainingMs(deadline_);
}

bool PlusPlusAdapter::connect(std::string& error) {
    const std::string who = description();
    transport_ = connector_(error);
    if (!transport_) return false;
    transport_->discardInput();
    reading_ = false;
    pending_.clear();
    pendingStart_ = 0;
    // Boards that restart when the port opens answer only once they are up,
    // so the question is asked twice. Once known, the version line that ends
    // the set-up's reply is answer enough.
    std::string heard;
    for (int attempt = 0; attempt < 2 && versionLine_.empty() && heard.empty(); ++attempt) {
        if (!sendCommand("++ver")) break;
        const auto until =
            std::min(deadline_, Clock::now() + std::chrono::milliseconds(kIdentifyMs));
        char chunk[512];
        while (versionLine_.empty() && heard.size() < kMaxReply) {
            // Once something else came back, the version line would follow
            // it at once.
            const int wait =
                heard.empty() ? remainingMs(until) : std::min(remainingMs(until), kAfterOtherMs);
            const long n = transport_->receive(chunk, sizeof chunk, wait);
            if (n <= 0) break;
            heard.append(chunk, static_cast<std::size_t>(n));
            // The adapter may greet first; its version line is the one that
            // names it.
            for (std::size_t start = 0, end; (end = heard.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                const std::string_view line(heard.data() + start, end + 1 - start);
                if (containsIgnoringCase(line, kind_.versionMark)) {
                    versionLine_ = line;
                    break;
                }
            }
        }
    }
    if (versionLine_.empty()) {
        error = heard.empty()
                    ? who + ": no " + std::string(kind_.name) +
                          " adapter answers there (nothing came back to ++ver)"
                    : who + ": no " + std::string(kind_.name) + " adapter answers there (\"" +
                          shownBytes(heard) + "\" came back to ++ver)";
        transport_.reset();
        return false;
    }
    if (wireLog_) wireLog_(false, versionLine_);
    selected_.clear();
    adapterTimeoutMs_ = -1;
    eoi_ = 1;
    // Controller mode; no read after each write; nothing added to what is
    // sent, END with its last byte; the end mark after a message that ended
    // with END.
    std::string setup = kind_.saveConfigOff ? "++savecfg 0\n" : "";
    setup += "++mode 1\n++auto 0\n++eos 3\n++eoi 1\n++eot_enable 1\n++eot_char " +
             std::to_string(static_cast<int>(kEndMark)) + "\n";
    if (!transaction(setup, kIdentifyMs)) {
        error = who + ": the adapter stopped answering while it was being set up";
        return false;
    }
    return true;
}

void PlusPlusAdapter::drop() {
    transport_.reset();
    reading_ = false;
    pending_.clear();
    pendingStart_ = 0;
}

bool PlusPlusAdapter::ready() {
    if (!transport_) {
        std::string error;
        if (!connect(error)) return false;
    }
    return finishReading();
}

bool PlusPlusAdapter::sendBytes(const std::string& bytes) {
    if (!transport_) return false;
    if (transport_->send(bytes.data(), bytes.size(), std::max(leftMs(), 1))) return true;
    drop();
    return false;
}

bool PlusPlusAdapter::sendCommand(const std::string& lines) {
    if (wireLog_) {
        for (std::size_t start = 0; start < lines.size();) {
            const std::size_t end = std::min(lines.find('\n', start), lines.size());
            wireLog_(true, std::string_view(lines).substr(start, end - start));
            start = end + 1;
        }
    }
    return sendBytes(lines.back() == '\n' ? lines : lines + "\n");
}

std::optional<std::string> PlusPlusAdapter::transaction(const std::string& lines, int capMs) {
    if (!sendCommand(lines + "++ver\n")) return std::nullopt;
    // The whole reply is due by then: an adapter that sends it a byte at a
    // time is as lost as a silent one.
    const auto until = std::min(deadline_, Clock::now() + std::chrono::milliseconds(capMs));
    std::string reply;
    char chunk[512];
    while (!endsWith(reply, versionLine_)) {
        const long n = reply.size() > kMaxReply || Clock::now() >= until
                           ? -1
                           : transport_->receive(chunk, sizeof chunk, remainingMs(until));
        if (n <= 0) {
            drop();
            return std::nullopt;
        }
        reply.append(chunk, static_cast<std::size_t>(n));
    }
    reply.resize(reply.size() - versionLine_.size());
    if (wireLog_ && !reply.empty()) wireLog_(false, reply);
    return reply;
}

bool PlusPlusAdapter::selectDevice(std::int32_t pad, std::int32_t sad) {
    const std::string address = addressText(pad, sad);
    if (address == selected_) return true;
    if (!sendCommand("++addr " + address)) return false;
    selected_ = address;
    return true;
}

bool PlusPlusAdapter::setAdapterTimeout(int ms) {
    ms = std::clamp(ms, 1, kAdapterTimeoutMs);
    if (ms == adapterTimeoutMs_) return true;
    if (!sendCommand("++read_tmo_ms " + std::to_string(ms))) return false;
    adapterTimeoutMs_ = ms;
    return true;
}

long PlusPlusAdapter::receiveMore(int waitMs) {
    if (pendingStart_ > 0 && pendingStart_ * 2 >= pending_.size()) {
        pending_.erase(0, pendingStart_);
        pendingStart_ = 0;
    }
    const std::size_t had = pending_.size();
    pending_.resize(had + kReceiveChunk);
    const long n = transport_->receive(pending_.data() + had, kReceiveChunk, waitMs);
    pending_.resize(had + static_cast<std::size_t>(std::max(n, 0L)));
    return n;
}

std::size_t PlusPlusAdapter::handOutSettled(char* buffer, std::size_t room) {
    const std::string_view arrived(pending_.data() + pendingStart_,
                                   pending_.size() - pendingStart_);
    const std::string ending = kEndMark + versionLine_;
    std::size_t unsettled = std::min(arrived.size(), ending.size());
    for (; unsettled > 0; --unsettled) {
        const std::string_view tail = arrived.substr(arrived.size() - unsettled);
        if (ending.compare(0, tail.size(), tail) == 0 ||
            versionLine_.compare(0, tail.size(), tail) == 0)
            break;
    }
    const std::size_t n = std::min(room, arrived.size() - unsettled);
    copyOut(buffer, arrived.data(), n);
    pendingStart_ += n;
    return n;
}

bool PlusPlusAdapter::finishReading() {
    // Nothing reaches the adapter while it still sends an answer, so the
    // rest is read and dropped, by the call's deadline. A device that talks
    // on past it costs the connection, which the next call opens afresh.
    const std::string& mark = versionLine_;
    while (reading_ && !roundEnded_ && !endsWith(pending_, mark)) {
        // Only a tail that may be the start of the version line is kept.
        pendingStart_ =
            std::max(pendingStart_, pending_.size() - std::min(pending_.size(), mark.size()));
        if (Clock::now() >= deadline_ || receiveMore(leftMs()) <= 0) {
            drop();
            return false;
        }
    }
    reading_ = false;
    pending_.clear();
    pendingStart_ = 0;
    return true;
}

AdapterDriver::Result PlusPlusAdapter::interfaceClear() {
    startCall(kCommandMs);
    if (!ready() || !sendCommand("++ifc")) return lost();
    return Result::ok();
}

AdapterDriver::Result PlusPlusAdapter::remoteEnable(bool on) {
    startCall(kCommandMs);
    if (!ready()) return lost();
    if (kind_.hasRen && !sendCommand(on ? "++ren 1" : "++ren 0")) return lost();
    return Result::ok();
}

std::optional<std::uint8_t> PlusPlusAdapter::poll(std::int32_t pad, std::int32_t sad,
                                                  int adapterMs) {
    if (!setAdapterTimeout(adapterMs)) return std::nullopt;
    const std::optional<std::string> reply = transaction("++spoll " + addressText(pad, sad) + "\n",
                                                         adapterTimeoutMs_ + kSilenceMarginMs);
    if (!reply) return std::nullopt;
    const std::string_view text = platform::trimSpaces(*reply, platform::kWhiteSpace);
    if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return std::nullopt;
    const int value = std::stoi(std::string(text));
    if (value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

bool PlusPlusAdapter::findListeners(std::array<bool, kMaxAddress + 1>& found) {
    startCall(kCommandMs);
    // A connection lost before the search is opened again once, here: if
    // that fails, the search ends before its first address.
    return ready() && searchListeners(found);
}

bool PlusPlusAdapter::searchListeners(std::array<bool, kMaxAddress + 1>& found) {
    if (!kind_.hasFindListeners || !ready()) return false;
    const std::optional<std::string> reply = transaction("++findlstn\n", kIdentifyMs);
    if (!reply) return false;
    present_.fill(-1);
    found.fill(false);
    const char* p = reply->c_str();
    while (*p != '\0') {
        if (!std::isdigit(static_cast<unsigned char>(*p))) {
            ++p;
            continue;
        }
        char* end = nullptr;
        const long pad = std::strtol(p, &end, 10);
        p = end;
        if (pad >= 1 && pad <= kMaxAddress) {
            found[static_cast<std::size_t>(pad)] = true;
            present_[static_cast<std::size_t>(pad)] = 1;
        }
    }
    return true;
}

bool PlusPlusAdapter::listening(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    return probe(pad, sad);
}

bool PlusPlusAdapter::probe(std::int32_t pad, std::int32_t sad) {
    if (!ready()) return false;
    const auto index = static_cast<std::size_t>(pad);
    if (sad == 0 && kind_.hasFindListeners) {
        std::array<bool, kMaxAddress + 1> found{};
        return searchListeners(found) && found[index];
    }
    // Only a device that is there answers a serial poll; the status byte the
    // probe took is given up.
    const bool there = poll(pad, sad, kProbeTimeoutMs).has_value() && transport_;
    if (sad == 0 && transport_) present_[index] = there ? 1 : -1;
    return there;
}

AdapterDriver::Result PlusPlusAdapter::write(const Target& target, const char* data,
                                             std::size_t size, bool end) {
    startCall(timeoutMs(target.tmo) + kSilenceMarginMs);
    if (!ready()) return lost();
    // The adapter cannot tell that nobody listened, so an address not known
    // to be there is looked for first.
    if (present_[static_cast<std::size_t>(target.pad)] != 1 || target.sad != 0) {
        const bool there = probe(target.pad, target.sad);
        if (!transport_) return lost();
        if (!there) return Result::failed(ENOL);
    }
    if (size == 0) return Result::ok();
    if (!selectDevice(target.pad, target.sad)) return lost();
    if (eoi_ != (end ? 1 : 0)) {
        if (!sendCommand(end ? "++eoi 1" : "++eoi 0")) return lost();
        eoi_ = end ? 1 : 0;
    }
    polled_[static_cast<std::size_t>(target.pad)].reset();
    if (!sendBytes(escapeData(std::string_view(data, size)) + "\n")) return lost();
    return Result::ok(size);
}

AdapterDriver::Result PlusPlusAdapter::read(const Target& target, char* buffer, std::size_t size) {
    const int consoleMs = timeoutMs(target.tmo);
    startCall(consoleMs + kSilenceMarginMs);
    if (!transport_ && !ready()) return lost();
    if (reading_ && (readingPad_ != target.pad || readingSad_ != target.sad) && !finishReading())
        return lost();
    // The console's time-out, for whether another round of the adapter's
    // shorter one is asked for; a call goes on past it only for the adapter to
    // end its round.
    const auto consoleEnd = Clock::now() + std::chrono::milliseconds(consoleMs);
    // The adapter's last sign of life: a silence longer than its own
    // time-out and the margin means it is gone.
    auto heard = Clock::now();
    bool talked = false; // since the round (or this call) began
    if (!reading_) {
        if (!selectDevice(target.pad, target.sad) || !setAdapterTimeout(consoleMs) ||
            !sendCommand("++read eoi\n++ver"))
            return lost();
        reading_ = true;
        readingPad_ = target.pad;
        readingSad_ = target.sad;
        roundEnded_ = false;
        pending_.clear();
        pendingStart_ = 0;
        lastRound_ = adapterTimeoutMs_ >= consoleMs;
    }
    const std::string& mark = versionLine_;
    // The end mark and the version line may still be coming: that many bytes
    // stay back until the round is over.
    const std::size_t keep = mark.size() + 1;
    const bool stoppable = stopWatched();
    std::size_t count = 0;
    for (;;) {
        const std::size_t available = pending_.size() - pendingStart_;
        if (!roundEnded_ && available >= mark.size() && endsWith(pending_, mark)) {
            pending_.resize(pending_.size() - mark.size());
            const bool ended = pending_.size() > pendingStart_ && pending_.back() == kEndMark;
            if (ended) {
                pending_.pop_back();
                roundEnded_ = true;
            } else if (lastRound_ || Clock::now() >= consoleEnd) {
                // The device sent no END before the console's time-out.
                const std::size_t n = std::min(size - count, pending_.size() - pendingStart_);
                copyOut(buffer + count, pending_.data() + pendingStart_, n);
                reading_ = false;
                return Result::timeout(count + n);
            } else {
                // The adapter's time-out is over before the console's: read
                // on, for no longer than the console's time-out has left.
                const int rest = std::max(remainingMs(consoleEnd), 1);
                if (!setAdapterTimeout(rest) || !sendCommand("++read eoi\n++ver")) return lost();
                lastRound_ = adapterTimeoutMs_ >= rest;
                heard = Clock::now();
                talked = false;
            }
            continue;
        }
        const std::size_t ready = pending_.size() - pendingStart_;
        const std::size_t handOut =
            std::min(size - count, roundEnded_ ? ready : (ready > keep ? ready - keep : 0));
        copyOut(buffer + count, pending_.data() + pendingStart_, handOut);
        pendingStart_ += handOut;
        count += handOut;
        if (roundEnded_ && pendingStart_ == pending_.size()) {
            reading_ = false;
            pending_.clear();
            pendingStart_ = 0;
            return Result::ok(count, true);
        }
        if (count == size) return Result::ok(count);
        if (stoppable && stopRequested()) {
            // The device is still talking: the next command drains it first.
            count += handOutSettled(buffer + count, size - count);
            return Result::failed(EABO, count);
        }
        const auto silentEnd =
            heard + std::chrono::milliseconds(adapterTimeoutMs_ + kSilenceMarginMs);
        const auto waitEnd = std::min(deadline_, silentEnd);
        const int wait = remainingMs(waitEnd);
        const long n = receiveMore(stoppable ? std::min(wait, kStopLookMs) : wait);
        if (n < 0) return lost();
        if (n > 0) {
            heard = Clock::now();
            talked = true;
            continue;
        }
        if (stoppable && Clock::now() < waitEnd) continue;
        // Nothing from the adapter for as long as its own time-out and the
        // margin: gone.
        if (!talked || silentEnd <= deadline_) return lost();
        // The device still talks at the deadline: a time-out with what came;
        // the rest of the round is drained before the next command.
        count += handOutSettled(buffer + count, size - count);
        return Result::timeout(count);
    }
}

AdapterDriver::Result PlusPlusAdapter::serialPoll(const Target& target, std::uint8_t& statusByte) {
    startCall(timeoutMs(target.tmo) + kSilenceMarginMs);
    if (!ready()) return lost();
    auto& kept = polled_[static_cast<std::size_t>(target.pad)];
    if (kept) {
        statusByte = *kept;
        kept.reset();
        return Result::ok(1);
    }
    const std::optional<std::uint8_t> polled = poll(target.pad, target.sad, timeoutMs(target.tmo));
    if (!transport_) return lost();
    if (!polled) return Result::timeout();
    statusByte = *polled;
    return Result::ok(1);
}

AdapterDriver::Result PlusPlusAdapter::clear(std::int32_t pad, std::int32_t sad) {
    startCall(kCommandMs);
    if (!ready()) return lost();
    if (pad == NOADDR) {
        polled_.fill(std::nullopt);
        if (kind_.hasDeviceClearAll) return sendCommand("++dcl") ? Result::ok() : lost();
        for (std::int32_t p = 1; p <= kMaxAddress; ++p) {
            if (present_[static_cast<std::size_t>(p)] == 1 &&
                (!selectDevice(p, 0) || !sendCommand("++clr")))
                return lost();
        }
        return Result::ok();
    }
    if (present_[static_cast<std::size_t>(pad)] != 1 && !probe(pad, sad))
        return transport_ ? Result::failed(ENOL) : lost();
    polled_[static_cast<std::size_t>(pad)].reset();
    if (!selectDevice(pad, sad) || !sendCommand("++clr")) return lost();
    return Result::ok();
}

bool PlusPlusAdapter::serviceRequest(const Target* target, bool wait) {
    // A look between the chunks of a read must not end the read: the
    // adapter is busy sending, so nothing new is asked.
    if (reading_ && !wait)
        return target != nullptr && polled_[static_cast<std::size_t>(target->pad)].has_value();
    const int waitMs = wait && target ? timeoutMs(target->tmo) : 0;
    startCall(waitMs + kCommandMs);
    const auto waitEnd = Clock::now() + std::chrono::milliseconds(waitMs);
    while (ready()) {
        if (target != nullptr && polled_[static_cast<std::size_t>(target->pad)]) return true;
        const std::optional<std::string> line = transaction("++srq\n", kIdentifyMs);
        if (!line) return false;
        if (platform::trimSpaces(*line, platform::kWhiteSpace) == "1") {
            if (target == nullptr) return true;
            // The line is shared: a poll tells whether this device asks.
            const std::optional<std::uint8_t> status =
                poll(target->pad, target->sad, timeoutMs(target->tmo));
            if (status && (*status & 0x40) != 0) {
                polled_[static_cast<std::size_t>(target->pad)] = status;
                return true;
            }
        }
        if (!wait || Clock::now() >= waitEnd) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace bus::adapter
