#include "bus/Binding.h"

#include "platform/Text8.h"

#include <algorithm>
#include <vector>

namespace bus {
namespace {
// What the count reads after a registration the driver refused.
constexpr std::uint32_t kRegistrationFailedCount = 0xDEAD37F0u;

// Drivers explain themselves in UTF-8 (file names included); a broken
// sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t code = lead & (extra == 0 ? 0x7Fu : 0x3Fu >> extra);
        bool good = lead < 0x80 || extra > 0;
        for (int k = 0; good && k < extra; ++k) {
            good = i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u;
            if (good) code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3Fu);
        }
        if (!good || code > 0x10FFFF) code = 0xFFFD;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

} // namespace

void Binding::ensureRegistered() {
    if (globalsRegistered()) return;
    const std::int32_t result =
        driver_.RegisterGpibGlobalsForThread(&ibstaLong_, &iberrLong_, &ibcntLong_, &ibcntlLong_);
    if (result == 0) {
        registeredOn_ = std::this_thread::get_id();
        return;
    }
    if (result == 1) {
        driver_.UnregisterGpibGlobalsForThread();
        driver_.RegisterGpibGlobalsForThread(&ibstaLong_, &iberrLong_, &ibcntLong_, &ibcntlLong_);
        registeredOn_ = std::this_thread::get_id();
        return;
    }
    if (result == 2 || result == 3) driver_.UnregisterGpibGlobalsForThread();
    // The driver will not write our variables, so fill them with the failure
    // itself: the copy after the coming call then reports ERR instead of a
    // stale success. The next operation tries to register again.
    ibstaLong_ = ERR;
    iberrLong_ = 0;
    ibcntlLong_ = static_cast<std::int32_t>(kRegistrationFailedCount);
    copyStatus();
}

void Binding::copyStatus() {
    ibsta = LongToInt(ibstaLong_);
    iberr = static_cast<std::int16_t>(iberrLong_);
    ibcnt = LongToInt(ibcntlLong_);
}

void Binding::SendIFC(std::int16_t board) {
    ensureRegistered();
    driver_.SendIFC(board);
    copyStatus();
}

void Binding::ibsre(std::int16_t board, std::int16_t value) {
    ensureRegistered();
    driver_.ibsre(board, value);
    copyStatus();
}

void Binding::FindLstn(std::int16_t board, const std::int16_t* probeList, std::int16_t* resultList,
                       std::int16_t limit) {
    ensureRegistered();
    std::vector<Addr4882> probes;
    for (const std::int16_t* p = probeList;; ++p) {
        probes.push_back(static_cast<Addr4882>(*p));
        if (probes.back() == NOADDR) break;
    }
    const std::size_t n = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    std::vector<Addr4882> results(n);
    for (std::size_t i = 0; i < n; ++i)
        results[i] = static_cast<Addr4882>(resultList[i]);
    driver_.FindLstn(board, probes.data(), results.data(), limit);
    for (std::size_t i = 0; i < n; ++i)
        resultList[i] = static_cast<std::int16_t>(results[i]);
    copyStatus();
}

std::int16_t Binding::ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad,
                            std::int16_t tmo, std::int16_t eot, std::int16_t eos) {
    ensureRegistered();
    const std::int32_t ud = driver_.ibdev(board, pad, sad, tmo, eot, eos);
    copyStatus();
    return LongToInt(ud);
}

void Binding::ibpad(std::int16_t ud, std::int16_t pad) {
    ensureRegistered();
    driver_.ibpad(ud, pad);
    copyStatus();
}

void Binding::ibtmo(std::int16_t ud, std::int16_t tmo) {
    ensureRegistered();
    driver_.ibtmo(ud, tmo);
    copyStatus();
}

std::int16_t Binding::ibask(std::int16_t ud, std::int16_t option) {
    ensureRegistered();
    std::int32_t value = 0;
    driver_.ibask(ud, option, &value);
    copyStatus();
    return LongToInt(value);
}

void Binding::ibwait(std::int16_t ud, std::int16_t mask) {
    ensureRegistered();
    driver_.ibwait(ud, mask);
    copyStatus();
}

void Binding::ibwrt(std::int16_t ud, std::u16string_view text) {
    ensureRegistered();
    platform::toBytes(text, bytes_);
    driver_.ibwrt(ud, bytes_.data(), static_cast<std::int32_t>(bytes_.size()));
    copyStatus();
}

void Binding::ibrd(std::int16_t ud, std::u16string& buffer) {
    ensureRegistered();
    // The driver only writes into its buffer, and what it leaves alone is
    // kept from `buffer` itself, so nothing needs converting on the way in.
    bytes_.resize(buffer.size());
    driver_.ibrd(ud, bytes_.data(), static_cast<std::int32_t>(bytes_.size()));
    copyStatus();
    // Only the bytes the driver delivered replace the buffer's start.
    const auto received = static_cast<std::size_t>(
        std::clamp<std::int64_t>(ibcntlLong_, 0, static_cast<std::int64_t>(buffer.size())));
    platform::fromBytes(std::string_view(bytes_.data(), received), buffer.data());
}

void Binding::ibrd(std::int16_t ud, std::string& bytes, std::size_t count) {
    ensureRegistered();
    const std::size_t start = bytes.size();
    bytes.resize(start + count);
    driver_.ibrd(ud, bytes.data() + start, static_cast<std::int32_t>(count));
    copyStatus();
    const auto received = static_cast<std::size_t>(
        std::clamp<std::int64_t>(ibcntlLong_, 0, static_cast<std::int64_t>(count)));
    bytes.resize(start + received);
}

std::int16_t Binding::ibrsp(std::int16_t ud) {
    ensureRegistered();
    driver_.ibrsp(ud, spollBuffer_);
    copyStatus();
    return static_cast<unsigned char>(spollBuffer_[0]);
}

void Binding::DevClear(std::int16_t board, std::int16_t address) {
    ensureRegistered();
    driver_.DevClear(board, static_cast<Addr4882>(address));
    copyStatus();
}

void Binding::ibonl(std::int16_t ud, std::int16_t value) {
    ensureRegistered();
    driver_.ibonl(ud, value);
    copyStatus();
}

void Binding::ibwrtf(std::int16_t ud, std::u16string_view fileName) {
    ensureRegistered();
    const std::string name = platform::toBytes(fileName);
    driver_.ibwrtfA(ud, name.c_str());
    copyStatus();
}

void Binding::ibrdf(std::int16_t ud, std::u16string_view fileName) {
    ensureRegistered();
    const std::string name = platform::toBytes(fileName);
    driver_.ibrdfA(ud, name.c_str());
    copyStatus();
}

std::u16string Binding::startupAdvice() {
    return fromUtf8(driver_.startupAdvice(iberrLong_, ibcntlLong_));
}

} // namespace bus
