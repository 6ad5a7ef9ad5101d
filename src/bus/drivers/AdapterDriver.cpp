#include "bus/drivers/AdapterDriver.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace bus {

namespace {

constexpr std::int32_t kIbaPAD = 0x1;
constexpr std::int32_t kIbaSAD = 0x2;
constexpr std::int32_t kIbaEOT = 0x4;
constexpr std::int32_t kMaxTmo = 17; // T1000s
constexpr std::size_t kFileChunk = 64 * 1024;

// Closes the file when a transfer ends, however it ends.
struct File {
    std::FILE* handle;
    explicit File(std::FILE* f) : handle(f) {}
    ~File() {
        if (handle != nullptr) std::fclose(handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
};

std::int32_t clampCount(std::uint64_t count) {
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

bool validSecondary(std::int32_t sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}

} // namespace

int timeoutMs(std::int32_t code) {
    static constexpr int kMs[] = {1000000, 1,   1,    1,    1,     1,     3,      10,     30,
                                  100,     300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};
    return code >= 0 && code < static_cast<std::int32_t>(std::size(kMs))
               ? kMs[static_cast<std::size_t>(code)]
               : 1000;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

std::string shownBytes(std::string_view bytes) {
    std::string text;
    for (const char c : bytes.substr(0, 80)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            text += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            text += hex;
        }
    }
    return bytes.size() > 80 ? text + "..." : text;
}

AdapterDriver::AdapterDriver() = default;
AdapterDriver::~AdapterDriver() = default;

AdapterDriver::Descriptor* AdapterDriver::descriptor(std::int32_t ud) {
    if (ud < kFirstDescriptor) return nullptr;
    const auto index = static_cast<std::size_t>(ud - kFirstDescriptor);
    if (index >= descriptors_.size() || !descriptors_[index].online) return nullptr;
    return &descriptors_[index];
}

std::int32_t AdapterDriver::done(std::int32_t status, std::size_t count) {
    return globals_.publish(status | CMPL, 0, clampCount(count));
}

std::int32_t AdapterDriver::fail(std::int32_t error, std::size_t count) {
    return globals_.publish(ERR | CMPL, error, clampCount(count));
}

std::int32_t AdapterDriver::finish(const Result& result, std::int32_t status) {
    if (result.timedOut)
        return globals_.publish(ERR | TIMO | CMPL | status, EABO, clampCount(result.count));
    if (result.error >= 0) return fail(result.error, result.count);
    return done(status | (result.end ? END : 0), result.count);
}

std::int32_t AdapterDriver::RegisterGpibGlobalsForThread(std::int32_t* ibsta, std::int32_t* iberr,
                                                         std::int32_t* ibcnt,
                                                         std::int32_t* ibcntl) {
    return globals_.registerThread(ibsta, iberr, ibcnt, ibcntl);
}

std::int32_t AdapterDriver::UnregisterGpibGlobalsForThread() {
    return globals_.unregisterThread();
}

void AdapterDriver::SendIFC(std::int32_t board) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    finish(interfaceClear());
}

std::int32_t AdapterDriver::ibsre(std::int32_t ud, std::int32_t v) {
    if (ud != 0) return fail(EARG);
    return finish(remoteEnable(v != 0));
}

void AdapterDriver::FindLstn(std::int32_t board, const Addr4882* padlist, Addr4882* resultlist,
                             std::int32_t limit) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    if (padlist == nullptr || resultlist == nullptr || limit <= 0) {
        fail(EARG);
        return;
    }
    std::array<bool, kMaxAddress + 1> present{};
    const bool searched = findListeners(present);
    if (adapterLost()) {
        fail(ENEB);
        return;
    }
    std::int32_t stored = 0;
    bool deviceFound = false;
    for (const Addr4882* probe = padlist; *probe != NOADDR; ++probe) {
        const std::int32_t pad = *probe & 0xFF;
        const std::int32_t sad = *probe >> 8;
        if (pad > kMaxAddress) {
            fail(EARG, static_cast<std::size_t>(stored));
            return;
        }
        // The board hears its own listen address, so its probe takes a place
        // in the results like a real board's does; it is not a device.
        const bool heard =
            pad == 0 ||
            (searched && sad == 0 ? present[static_cast<std::size_t>(pad)] : listening(pad, sad));
        if (adapterLost()) {
            fail(ENEB, static_cast<std::size_t>(stored));
            return;
        }
        if (!heard) continue;
        if (stored == limit) {
            fail(ETAB, static_cast<std::size_t>(stored));
            return;
        }
        deviceFound = deviceFound || pad != 0;
        resultlist[stored++] = *probe;
    }
    if (!deviceFound) {
        fail(EBUS);
        return;
    }
    done(0, static_cast<std::size_t>(stored));
}

std::int32_t AdapterDriver::ibdev(std::int32_t board, std::int32_t pad, std::int32_t sad,
                                  std::int32_t tmo, std::int32_t eot, std::int32_t eos) {
    if (board != 0) {
        fail(ENEB);
        return -1;
    }
    if (pad < 0 || pad > kMaxAddress || !validSecondary(sad) || tmo < 0 || tmo > kMaxTmo) {
        fail(EARG);
        return -1;
    }
    descriptors_.push_back(Descriptor{Target{pad, sad, tmo, eot != 0, eos}});
    done(0);
    return kFirstDescriptor + static_cast<std::int32_t>(descriptors_.size() - 1);
}

std::int32_t AdapterDriver::ibpad(std::int32_t ud, std::int32_t pad) {
    Descriptor* d = descriptor(ud);
    if (d == nullptr || pad < 0 || pad > kMaxAddress) return fail(EARG);
    d->target.pad = pad;
    return done(0);
}

std::int32_t AdapterDriver::ibtmo(std::int32_t ud, std::int32_t tmo) {
    if (tmo < 0 || tmo > kMaxTmo) return fail(EARG);
    if (ud == 0) {
        boardTmo_ = tmo;
        return done(0);
    }
    Descriptor* d = descriptor(ud);
    if (d == nullptr) return fail(EARG);
    d->target.tmo = tmo;
    return done(0);
}

std::int32_t AdapterDriver::ibask(std::int32_t ud, std::int32_t option, std::int32_t* value) {
    if (value == nullptr) return fail(EARG);
    if (ud == 0) {
        if (option == IbaTMO) {
            *value = boardTmo_;
        } else if (option == kIbaPAD || option == kIbaSAD) {
            *value = 0;
        } else {
            return fail(EARG);
        }
        return done(0);
    }
    const Descriptor* d = descriptor(ud);
    if (d == nullptr) return fail(EARG);
    switch (option) {
    case kIbaPAD:
        *value = d->target.pad;
        break;
    case kIbaSAD:
        *value = d->target.sad;
        break;
    case IbaTMO:
        *value = d->target.tmo;
        break;
    case kIbaEOT:
        *value = d->target.eot ? 1 : 0;
        break;
    default:
        return fail(EARG);
    }
    return done(0);
}

std::int32_t AdapterDriver::ibwait(std::int32_t ud, std::int32_t mask) {
    const Target* target = nullptr;
    if (ud != 0) {
        const Descriptor* d = descriptor(ud);
        if (d == nullptr) return fail(EARG);
        target = &d->target;
    }
    // CMPL always holds, so only a wait that does not accept it may block.
    const std::int32_t awaited = mask & ~TIMO;
    const bool wait = (awaited & (RQS | SRQI)) != 0 && (awaited & CMPL) == 0;
    const std::int32_t holds = serviceRequest(target, wait) ? (ud == 0 ? SRQI : RQS) : 0;
    if ((awaited & (holds | CMPL)) != 0 || mask == 0) return done(holds);
    return done(holds | TIMO);
}

std::int32_t AdapterDriver::ibwrt(std::int32_t ud, const void* buf, std::int32_t cnt) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr || cnt < 0 || (buf == nullptr && cnt > 0)) return fail(EARG);
    return finish(write(d->target, static_cast<const char*>(buf), static_cast<std::size_t>(cnt),
                        d->target.eot));
}

std::int32_t AdapterDriver::ibrd(std::int32_t ud, void* buf, std::int32_t cnt) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr || cnt < 0 || (buf == nullptr && cnt > 0)) return fail(EARG);
    return finish(read(d->target, static_cast<char*>(buf), static_cast<std::size_t>(cnt)));
}

std::int32_t AdapterDriver::ibrsp(std::int32_t ud, char* spr) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr || spr == nullptr) return fail(EARG);
    std::uint8_t statusByte = 0;
    const Result result = serialPoll(d->target, statusByte);
    if (result.error < 0 && !result.timedOut) spr[0] = static_cast<char>(statusByte);
    return finish(result);
}

std::int32_t AdapterDriver::ibclr(std::int32_t ud) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr) return fail(EARG);
    return finish(clear(d->target.pad, d->target.sad));
}

void AdapterDriver::DevClear(std::int32_t board, Addr4882 address) {
    if (board != 0) {
        fail(ENEB);
        return;
    }
    if (address == NOADDR) {
        finish(clear(NOADDR, 0));
        return;
    }
    const std::int32_t pad = address & 0xFF;
    if (pad > kMaxAddress) {
        fail(EARG);
        return;
    }
    finish(clear(pad, address >> 8));
}

std::int32_t AdapterDriver::ibonl(std::int32_t ud, std::int32_t v) {
    if (ud == 0) return done(0);
    Descriptor* d = descriptor(ud);
    if (d == nullptr) return fail(EARG);
    if (v == 0) d->online = false;
    return done(0);
}

std::int32_t AdapterDriver::ibwrtfA(std::int32_t ud, const char* filename) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr || filename == nullptr) return fail(EARG);
    File file(std::fopen(filename, "rb"));
    if (file.handle == nullptr) return fail(EFSO);
    if (!fileChunk_) fileChunk_ = std::make_unique<char[]>(kFileChunk);
    char* chunk = fileChunk_.get();

    std::uint64_t sent = 0;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, kFileChunk, file.handle);
        if (std::ferror(file.handle)) return fail(EFSO, sent);
        // Look one byte ahead so END goes with the file's last byte.
        const int next = std::fgetc(file.handle);
        const bool last = next == EOF;
        if (!last) std::ungetc(next, file.handle);
        if (n > 0 || sent == 0) {
            Result result = write(d->target, chunk, n, last && d->target.eot);
            result.count += sent;
            if (result.error >= 0 || result.timedOut) return finish(result);
        }
        sent += n;
        if (watch_ != nullptr) watch_->moved(n);
        if (last) break;
        if (stopRequested()) return fail(EABO, sent);
    }
    if (std::ferror(file.handle)) return fail(EFSO, sent);
    return done(0, sent);
}

std::int32_t AdapterDriver::ibrdfA(std::int32_t ud, const char* filename) {
    const Descriptor* d = descriptor(ud);
    if (d == nullptr || filename == nullptr) return fail(EARG);
    File file(std::fopen(filename, "wb"));
    if (file.handle == nullptr) return fail(EFSO);
    if (!fileChunk_) fileChunk_ = std::make_unique<char[]>(kFileChunk);
    char* chunk = fileChunk_.get();

    // Reads look for a stop while they wait only here, where the watch
    // clears the device after it.
    struct Receiving {
        bool& flag;
        explicit Receiving(bool& f) : flag(f) { flag = true; }
        ~Receiving() { flag = false; }
        Receiving(const Receiving&) = delete;
        Receiving& operator=(const Receiving&) = delete;
    } receiving(receivingFile_);
    std::uint64_t received = 0;
    for (;;) {
        Result result = read(d->target, chunk, kFileChunk);
        const std::size_t n = std::min(result.count, kFileChunk);
        if (n > 0 && std::fwrite(chunk, 1, n, file.handle) != n) return fail(EFSO, received);
        received += n;
        // The count of a failed read is what reached the file before it.
        result.count = received;
        if (watch_ != nullptr && n > 0) watch_->moved(n);
        if (result.error >= 0 || result.timedOut) return finish(result);
        if (result.end) break;
        // A read that brings nothing and no end would go round for ever.
        if (n == 0) return finish(Result::timeout(received));
        if (stopRequested()) {
            std::fflush(file.handle);
            return fail(EABO, received);
        }
    }
    if (std::fflush(file.handle) != 0) return fail(EFSO, received);
    return done(END, received);
}

} // namespace bus
