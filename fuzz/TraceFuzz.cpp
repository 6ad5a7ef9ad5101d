// The I/O trace: with any bytes written to an instrument and any bytes it
// answers, every line of the trace is one valid JSON object, and the JSON
// strings of the writes' arguments and the reads' "data" give back exactly
// the bytes moved (byte b as U+00bb).
#include "Check.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TraceDriver.h"
#include "bus/sim/Instrument.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Just enough JSON to check a trace line: strict syntax, strings decoded
// (UTF-8 and escapes), objects and arrays kept, numbers only checked.
struct Json {
    std::u32string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;
};

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    std::optional<Json> document() {
        std::optional<Json> v = value();
        space();
        if (pos_ != s_.size()) return std::nullopt;
        return v;
    }

private:
    int peek() const { return pos_ < s_.size() ? static_cast<unsigned char>(s_[pos_]) : -1; }
    bool take(char c) {
        if (peek() != static_cast<unsigned char>(c)) return false;
        ++pos_;
        return true;
    }
    bool word(std::string_view w) {
        if (s_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }
    void space() {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++pos_;
    }
    bool digits() {
        const std::size_t start = pos_;
        while (peek() >= '0' && peek() <= '9')
            ++pos_;
        return pos_ > start;
    }

    std::optional<Json> value() {
        space();
        Json v;
        if (take('{')) {
            space();
            if (take('}')) return v;
            do {
                space();
                std::optional<std::u32string> key = string();
                space();
                if (!key || !take(':')) return std::nullopt;
                std::optional<Json> member = value();
                if (!member) return std::nullopt;
                v.members[std::string(key->begin(), key->end())] = std::move(*member);
                space();
            } while (take(','));
            return take('}') ? std::optional<Json>(std::move(v)) : std::nullopt;
        }
        if (take('[')) {
            space();
            if (take(']')) return v;
            do {
                std::optional<Json> item = value();
                if (!item) return std::nullopt;
                v.items.push_back(std::move(*item));
                space();
            } while (take(','));
            return take(']') ? std::optional<Json>(std::move(v)) : std::nullopt;
        }
        if (peek() == '"') {
            std::optional<std::u32string> text = string();
            if (!text) return std::nullopt;
            v.text = std::move(*text);
            return v;
        }
        if (word("true") || word("false") || word("null")) return v;
        take('-');
        if (!take('0') && !digits()) return std::nullopt;
        if (take('.') && !digits()) return std::nullopt;
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) return std::nullopt;
        }
        return v;
    }

    std::optional<unsigned> hex4() {
        unsigned u = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = peek();
            ++pos_;
            if (c >= '0' && c <= '9')
                u = u * 16 + static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                u = u * 16 + static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                u = u * 16 + static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
        }
        return u;
    }

    std::optional<std::u32string> string() {
        if (!take('"')) return std::nullopt;
        std::u32string out;
        for (;;) {
            const int c = peek();
            ++pos_;
            if (c < 0x20) return std::nullopt; // the end, or a raw control character
            if (c == '"') return out;
            if (c == '\\') {
                const int e = peek();
                ++pos_;
                switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += static_cast<char32_t>(e);
                    break;
                case 'b':
                    out += U'\b';
                    break;
                case 'f':
                    out += U'\f';
                    break;
                case 'n':
                    out += U'\n';
                    break;
                case 'r':
                    out += U'\r';
                    break;
                case 't':
                    out += U'\t';
                    break;
                case 'u': {
                    std::optional<unsigned> u = hex4();
                    if (!u) return std::nullopt;
                    if (*u >= 0xD800 && *u < 0xDC00) {
                        if (!word("\\u")) return std::nullopt;
                        std::optional<unsigned> low = hex4();
                        if (!low || *low < 0xDC00 || *low >= 0xE000) return std::nullopt;
                        *u = 0x10000 + ((*u - 0xD800) << 10) + (*low - 0xDC00);
                    } else if (*u >= 0xDC00 && *u < 0xE000) {
                        return std::nullopt;
                    }
                    out += static_cast<char32_t>(*u);
                    break;
                }
                default:
                    return std::nullopt;
                }
            } else if (c < 0x80) {
                out += static_cast<char32_t>(c);
            } else {
                // UTF-8: shortest form only, no surrogates, at most U+10FFFF.
                const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
                if (more < 0 || c > 0xF4) return std::nullopt;
                char32_t u = static_cast<char32_t>(c & (0x3F >> more));
                for (int i = 0; i < more; ++i) {
                    const int t = peek();
                    ++pos_;
                    if (t < 0x80 || t > 0xBF) return std::nullopt;
                    u = u << 6 | static_cast<char32_t>(t & 0x3F);
                }
                constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
                if (u < kLeast[more] || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000))
                    return std::nullopt;
                out += u;
            }
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

// The bytes a trace string stands for; every character must be one byte.
std::string bytesOf(const std::u32string& text) {
    std::string bytes;
    for (char32_t c : text) {
        FUZZ_CHECK(c <= 0xFF);
        bytes += static_cast<char>(c);
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("vireon-fuzz-trace-" + std::to_string(::getpid()) + ".jsonl"))
                                        .string();
    std::remove(path.c_str());

    FuzzedDataProvider in(data, size);
    constexpr int kAddresses[] = {5, 9, 22};
    const int address = kAddresses[in.ConsumeIntegralInRange(0, 2)];
    std::vector<std::pair<std::string, std::string>> moved; // op, bytes
    {
        std::unique_ptr<bus::SimulatedBus> bench = bus::SimulatedBus::defaultBench();
        bus::sim::Instrument* instrument = bench->instrument(address);
        bus::TraceOpenResult opened = bus::TraceDriver::open(std::move(bench), path);
        FUZZ_CHECK(opened.error.empty());
        bus::Driver& driver = *opened.driver;
        std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
        driver.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
        const std::int32_t ud = driver.ibdev(0, address, 0, bus::T1s, 1, 0);
        char buffer[512];
        while (in.remaining_bytes() > 0) {
            const std::string bytes = in.ConsumeRandomLengthString(256);
            switch (in.ConsumeIntegralInRange(0, 2)) {
            case 0:
                driver.ibwrt(ud, bytes.data(), static_cast<std::int32_t>(bytes.size()));
                moved.emplace_back("ibwrt", bytes);
                break;
            case 1:
                // Any bytes as the instrument's answer.
                instrument->queueOutput(bytes);
                break;
            default: {
                const auto asked = in.ConsumeIntegralInRange<std::int32_t>(0, sizeof buffer);
                driver.ibrd(ud, buffer, asked);
                moved.emplace_back("ibrd", std::string(buffer, static_cast<std::size_t>(cntl)));
                break;
            }
            }
        }
        driver.UnregisterGpibGlobalsForThread();
    }

    std::ifstream file(path, std::ios::binary);
    std::size_t next = 0;
    std::size_t lines = 0;
    for (std::string line; std::getline(file, line); ++lines) {
        const std::optional<Json> object = Parser(line).document();
        FUZZ_CHECK(object && object->members.count("op") == 1);
        const std::string op = bytesOf(object->members.at("op").text);
        if (op == "ibwrt") {
            FUZZ_CHECK(next < moved.size() && moved[next].first == op);
            FUZZ_CHECK(bytesOf(object->members.at("args").items.at(1).text) ==
                       moved[next++].second);
        } else if (op == "ibrd") {
            FUZZ_CHECK(next < moved.size() && moved[next].first == op);
            FUZZ_CHECK(bytesOf(object->members.at("data").text) == moved[next++].second);
        }
    }
    file.close();
    std::remove(path.c_str());
    FUZZ_CHECK(next == moved.size());
    FUZZ_CHECK(lines == moved.size() + 3); // registration, ibdev, unregistration
    return 0;
}
