#include "bus/drivers/ReplayBus.h"

#include "bus/sim/Instrument.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bus {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The trace writes byte b as U+00bb: such characters become bytes again,
// any other stays in UTF-8.
void appendCharacter(std::string* out, std::uint32_t c) {
    if (out == nullptr) return;
    if (c <= 0xFF)
        *out += static_cast<char>(c);
    else
        appendUtf8(*out, c);
}

// The fields of one call that a replay reads, each the text of its value as
// the line holds it (checked JSON); empty where the line has no such field.
// Where a key comes twice, the first counts.
struct Call {
    std::string_view op, args, data, ibsta;
};

// Checks text as JSON, linear in its length, without building the values it
// steps over: only the strings a caller asks for are made, so no line costs
// more than its own length.
class Scanner {
public:
    explicit Scanner(std::string_view text) : p_(text.data()), end_(p_ + text.size()) {}

    // A whole line: one object, nothing after it. False on anything not JSON.
    bool call(Call& call, std::string& key) {
        blanks();
        if (p_ == end_ || *p_ != '{') return false;
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == '}') {
            ++p_;
        } else {
            for (;;) {
                blanks();
                if (p_ == end_ || *p_ != '"') return false;
                key.clear();
                if (!string(&key)) return false;
                blanks();
                if (p_ == end_ || *p_++ != ':') return false;
                blanks();
                const char* value = p_;
                if (!skip(1)) return false;
                if (std::string_view* field = fieldOf(call, key); field && field->empty())
                    *field = std::string_view(value, static_cast<std::size_t>(p_ - value));
                const int more = next('}');
                if (more < 0) return false;
                if (more == 0) break;
            }
        }
        blanks();
        return p_ == end_;
    }

    // At a string's opening quote: its bytes are appended to out, or only
    // checked when out is null.
    bool string(std::string* out) {
        ++p_;
        for (;;) {
            const char* run = p_;
            while (p_ != end_ && *p_ != '"' && *p_ != '\\' &&
                   static_cast<unsigned char>(*p_) >= 0x20 &&
                   static_cast<unsigned char>(*p_) < 0x80)
                ++p_;
            if (out != nullptr) out->append(run, p_);
            if (p_ == end_) return false;
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') return ++p_, true;
            if (c == '\\') {
                ++p_;
                if (!escape(out)) return false;
            } else if (c < 0x20 || !utf8(out)) {
                return false;
            }
        }
    }

    // At an array: hands each item's text to each() until it returns false.
    template <class Each> void items(Each each) {
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == ']') return;
        for (;;) {
            blanks();
            const char* item = p_;
            if (!skip(1) || !each(std::string_view(item, static_cast<std::size_t>(p_ - item))))
                return;
            if (next(']') <= 0) return;
        }
    }

private:
    static constexpr int kMaxDepth = 64;

    static std::string_view* fieldOf(Call& call, std::string_view key) {
        if (key == "op") return &call.op;
        if (key == "args") return &call.args;
        if (key == "data") return &call.data;
        if (key == "ibsta") return &call.ibsta;
        return nullptr;
    }

    void blanks() {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n'))
            ++p_;
    }
    bool literal(std::string_view word) {
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::string_view(p_, word.size()) != word)
            return false;
        p_ += word.size();
        return true;
    }
    // After an item: 1 at a comma, 0 at the closing bracket, -1 otherwise.
    int next(char close) {
        blanks();
        if (p_ == end_) return -1;
        const char c = *p_++;
        return c == ',' ? 1 : c == close ? 0 : -1;
    }

    bool skip(int depth) {
        blanks();
        if (p_ == end_ || depth > kMaxDepth) return false;
        switch (*p_) {
        case '{':
            return skipObject(depth);
        case '[':
            return skipArray(depth);
        case '"':
            return string(nullptr);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    bool number() {
        if (*p_ != '-' && (*p_ < '0' || *p_ > '9')) return false;
        double value = 0;
        const auto result = std::from_chars(p_, end_, value);
        if (result.ec != std::errc()) return false;
        p_ = result.ptr;
        return true;
    }

    bool skipArray(int depth) {
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == ']') return ++p_, true;
        for (;;) {
            if (!skip(depth + 1)) return false;
            const int more = next(']');
            if (more <= 0) return more == 0;
        }
    }

    bool skipObject(int depth) {
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == '}') return ++p_, true;
        for (;;) {
            blanks();
            if (p_ == end_ || *p_ != '"' || !string(nullptr)) return false;
            blanks();
            if (p_ == end_ || *p_++ != ':') return false;
            if (!skip(depth + 1)) return false;
            const int more = next('}');
            if (more <= 0) return more == 0;
        }
    }

    bool hex4(std::uint32_t& c) {
        if (end_ - p_ < 4) return false;
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = *p_++;
            c <<= 4;
            if (h >= '0' && h <= '9')
                c |= static_cast<std::uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                c |= static_cast<std::uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                c |= static_cast<std::uint32_t>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool escape(std::string* out) {
        if (p_ == end_) return false;
        const char e = *p_++;
        char c = 0;
        switch (e) {
        case '"':
        case '\\':
        case '/':
            c = e;
            break;
        case 'b':
            c = '\b';
            break;
        case 'f':
            c = '\f';
            break;
        case 'n':
            c = '\n';
            break;
        case 'r':
            c = '\r';
            break;
        case 't':
            c = '\t';
            break;
        case 'u': {
            std::uint32_t u = 0;
            if (!hex4(u)) return false;
            if (u >= 0xD800 && u < 0xDC00) {
                std::uint32_t low = 0;
                if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            }
            appendCharacter(out, u);
            return true;
        }
        default:
            return false;
        }
        if (out != nullptr) *out += c;
        return true;
    }

    // A UTF-8 sequence starting at p_ (its lead byte at least 0x80).
    bool utf8(std::string* out) {
        const auto lead = static_cast<unsigned char>(*p_);
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (more < 0 || end_ - p_ <= more) return false;
        std::uint32_t c = lead & (0x3F >> more);
        for (int i = 1; i <= more; ++i) {
            const auto b = static_cast<unsigned char>(p_[i]);
            if ((b & 0xC0) != 0x80) return false;
            c = (c << 6) | (b & 0x3F);
        }
        p_ += more + 1;
        appendCharacter(out, c);
        return true;
    }

    const char* p_;
    const char* end_;
};

// The values below are checked JSON, so a value's first character says its kind.
bool isString(std::string_view value) {
    return !value.empty() && value.front() == '"';
}

bool isArray(std::string_view value) {
    return !value.empty() && value.front() == '[';
}

// Appends a string value's bytes to out; false when the value is no string.
bool appendString(std::string_view value, std::string& out) {
    return isString(value) && Scanner(value).string(&out);
}

int integer(std::string_view value, int otherwise = -1) {
    if (value.empty() || (value.front() != '-' && (value.front() < '0' || value.front() > '9')))
        return otherwise;
    double number = 0;
    std::from_chars(value.data(), value.data() + value.size(), number);
    // Only numbers an int holds: a cast of any other would be undefined.
    if (!(number > -2e9) || !(number < 2e9)) return otherwise;
    return static_cast<int>(number);
}

// An array's item i; empty when there is none.
std::string_view arg(std::string_view args, std::size_t i) {
    std::string_view found;
    if (!isArray(args)) return found;
    std::size_t index = 0;
    Scanner(args).items([&](std::string_view item) {
        if (index++ < i) return true;
        found = item;
        return false;
    });
    return found;
}

bool validPad(int pad) {
    return pad >= 1 && pad <= AdapterDriver::kMaxAddress;
}

// Turns trace lines into a recording, one line at a time.
class Recorder {
public:
    explicit Recorder(Recording& recording) : r_(recording) {}

    void line(const Call& call) {
        op_.clear();
        if (!appendString(call.op, op_)) return;
        const int status = integer(call.ibsta, 0);
        if ((status & ERR) != 0 && op_ != "ibrd") return;
        if (op_ == "ibdev") {
            const int ud = integer(call.data);
            if (ud > 0) pads_[ud] = integer(arg(call.args, 1));
        } else if (op_ == "ibpad") {
            pads_[integer(arg(call.args, 0))] = integer(arg(call.args, 1));
        } else if (op_ == "FindLstn") {
            sawFindLstn_ = true;
            if (!isArray(call.data)) return;
            Scanner(call.data).items([this](std::string_view found) {
                const int pad = integer(found) & 0xFF;
                if (validPad(pad)) r_.devices[static_cast<std::size_t>(pad)].listening = true;
                return true;
            });
        } else if (op_ == "ibwrt") {
            write(integer(arg(call.args, 0)), arg(call.args, 1));
        } else if (op_ == "ibrd") {
            read(integer(arg(call.args, 0)), call.data, status);
        } else if (op_ == "ibrsp") {
            const int pad = padOf(integer(arg(call.args, 0)));
            const int value = integer(call.data);
            if (validPad(pad) && value >= 0)
                r_.devices[static_cast<std::size_t>(pad)].polls.push_back(
                    static_cast<std::uint8_t>(value));
        }
    }

    // Without FindLstn in the trace, the devices written to listened.
    void finish() {
        if (sawFindLstn_) return;
        for (int pad = 1; pad <= AdapterDriver::kMaxAddress; ++pad)
            if (written_[static_cast<std::size_t>(pad)])
                r_.devices[static_cast<std::size_t>(pad)].listening = true;
    }

    bool sawFindLstn() const { return sawFindLstn_; }

private:
    struct Current {
        std::size_t exchange = kNone; // of the last write
        bool open = false;            // the last answer has not ended
    };
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    int padOf(int ud) const {
        const auto it = pads_.find(ud);
        return it == pads_.end() ? -1 : it->second;
    }

    void write(int ud, std::string_view value) {
        const int pad = padOf(ud);
        std::string bytes;
        if (!validPad(pad) || !appendString(value, bytes)) return;
        const auto index = static_cast<std::size_t>(pad);
        Recording::Device& device = r_.devices[index];
        written_[index] = true;
        const auto [it, added] = device.byWrite.try_emplace(bytes, device.exchanges.size());
        if (added) device.exchanges.push_back({std::move(bytes), {}});
        device.exchanges[it->second].times.emplace_back();
        current_[index] = {it->second, false};
    }

    void read(int ud, std::string_view data, int status) {
        const int pad = padOf(ud);
        if (!validPad(pad)) return;
        Current& current = current_[static_cast<std::size_t>(pad)];
        if (current.exchange == kNone) return;
        auto& answers =
            r_.devices[static_cast<std::size_t>(pad)].exchanges[current.exchange].times.back();
        // Every character of a string stands for at least one byte, so more
        // than the two quotes is data.
        if (isString(data) && data.size() > 2) {
            if (!current.open) answers.emplace_back();
            appendString(data, answers.back());
            current.open = true;
        }
        if ((status & END) != 0) current.open = false;
    }

    Recording& r_;
    std::string op_;
    std::unordered_map<int, int> pads_;
    std::array<Current, AdapterDriver::kMaxAddress + 1> current_{};
    std::array<bool, AdapterDriver::kMaxAddress + 1> written_{};
    bool sawFindLstn_ = false;
};

// Lines skipped for one reason: how many, and the first few by number.
struct SkippedLines {
    std::size_t count = 0;
    std::vector<std::size_t> first;

    void add(std::size_t lineNumber) {
        if (count++ < 10) first.push_back(lineNumber);
    }
    // "run.jsonl: 2 lines are not valid JSON and skipped (lines 5, 11)"
    void note(std::vector<std::string>& notes, const std::string& name,
              std::string_view why) const {
        if (count == 0) return;
        std::string text = name + ": " + std::to_string(count) +
                           (count == 1 ? " line is " : " lines are ") + std::string(why) +
                           " and skipped (line";
        text += count == 1 ? " " : "s ";
        for (std::size_t i = 0; i < first.size(); ++i)
            text += (i == 0 ? "" : ", ") + std::to_string(first[i]);
        text += count > first.size() ? ", ...)" : ")";
        notes.push_back(text);
    }
};

// Takes a trace's bytes in pieces of any size and hands its lines to the
// recorder one at a time. Of a line longer than kMaxTraceLine only the end is
// looked for, so no line is held beyond the limit.
class TraceReader {
public:
    TraceReader() : recorder_(load_.recording) {}

    void feed(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t newline = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, newline);
            bytes.remove_prefix(newline == std::string_view::npos ? bytes.size() : newline + 1);
            started_ = true;
            if (!tooLong_ && partial_.size() + piece.size() > kMaxTraceLine) {
                tooLong_ = true;
                partial_.clear();
            }
            if (newline == std::string_view::npos) {
                if (!tooLong_) partial_.append(piece);
            } else if (partial_.empty()) {
                endLine(piece); // whole in this piece: read where it lies
            } else {
                partial_.append(piece);
                endLine(partial_);
            }
        }
    }

    ReplayLoad finish(const std::string& name) {
        if (started_) endLine(partial_); // the last line, without a line feed
        recorder_.finish();
        badLines_.note(load_.notes, name, "not valid JSON");
        longLines_.note(load_.notes, name,
                        "longer than " + std::to_string(kMaxTraceLine >> 20) + " MiB");
        if (!recorder_.sawFindLstn())
            load_.notes.push_back(name +
                                  ": no FindLstn in the trace; the devices written to listen");
        const bool anyone =
            std::any_of(load_.recording.devices.begin(), load_.recording.devices.end(),
                        [](const Recording::Device& d) { return d.listening; });
        if (!anyone) load_.error = name + ": the trace shows no device on the bus";
        return std::move(load_);
    }

private:
    void endLine(std::string_view line) {
        ++lineNumber_;
        if (tooLong_) {
            longLines_.add(lineNumber_);
        } else if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
            Call call;
            if (Scanner(line).call(call, key_))
                recorder_.line(call);
            else
                badLines_.add(lineNumber_);
        }
        partial_.clear();
        tooLong_ = false;
        started_ = false;
    }

    ReplayLoad load_;
    Recorder recorder_;
    std::string partial_; // the line so far, when it came in more than one piece
    std::string key_;
    bool started_ = false; // bytes of a line have come since the last line feed
    bool tooLong_ = false;
    std::size_t lineNumber_ = 0;
    SkippedLines badLines_, longLines_;
};

} // namespace

ReplayLoad readTrace(std::string_view text, const std::string& name) {
    TraceReader reader;
    reader.feed(text);
    return reader.finish(name);
}

ReplayLoad loadTrace(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        ReplayLoad load;
        load.error = "cannot open trace file '" + path + "'";
        return load;
    }
    TraceReader reader;
    std::vector<char> chunk(1 << 16);
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
        reader.feed(std::string_view(chunk.data(), n));
    if (std::ferror(file.get())) {
        ReplayLoad load;
        load.error = "cannot read trace file '" + path + "'";
        return load;
    }
    return reader.finish(path);
}

ReplayBus::ReplayBus(Recording recording) : recording_(std::move(recording)) {
    for (std::size_t pad = 0; pad < states_.size(); ++pad)
        states_[pad].nextTime.assign(recording_.devices[pad].exchanges.size(), 0);
}

ReplayBus::State* ReplayBus::device(std::int32_t pad) {
    if (!validPad(pad) || !recording_.devices[static_cast<std::size_t>(pad)].listening)
        return nullptr;
    return &states_[static_cast<std::size_t>(pad)];
}

bool ReplayBus::listening(std::int32_t pad, std::int32_t) {
    return device(pad) != nullptr;
}

AdapterDriver::Result ReplayBus::write(const Target& target, const char* data, std::size_t size,
                                       bool) {
    State* state = device(target.pad);
    if (state == nullptr) return Result::failed(ENOL);
    const Recording::Device& recorded = recording_.devices[static_cast<std::size_t>(target.pad)];
    const auto it = recorded.byWrite.find(std::string(data, size));
    if (it == recorded.byWrite.end()) return Result::ok(size);
    const auto& times = recorded.exchanges[it->second].times;
    std::size_t& next = state->nextTime[it->second];
    const auto& answers = times[std::min(next, times.size() - 1)];
    ++next;
    for (const std::string& answer : answers) {
        // Answers are lost past the simulated instruments' output limit; one
        // that finds nothing waiting comes whole.
        constexpr std::uint64_t kLimit = sim::Instrument::kMaxOutput;
        std::size_t kept = answer.size();
        if (!state->answers.empty())
            kept = state->waiting >= kLimit ? 0
                                            : static_cast<std::size_t>(std::min<std::uint64_t>(
                                                  kept, kLimit - state->waiting));
        if (kept == 0) break;
        state->answers.push_back({&answer, kept});
        state->waiting += kept;
    }
    return Result::ok(size);
}

AdapterDriver::Result ReplayBus::read(const Target& target, char* buffer, std::size_t size) {
    State* state = device(target.pad);
    if (state == nullptr || state->answers.empty()) return Result::timeout();
    const Waiting& answer = state->answers.front();
    const std::size_t n = std::min(size, answer.size - state->readPos);
    std::copy_n(answer.answer->data() + state->readPos, n, buffer);
    state->readPos += n;
    state->waiting -= n;
    if (state->readPos < answer.size) return Result::ok(n, false);
    state->answers.pop_front();
    state->readPos = 0;
    return Result::ok(n, true);
}

AdapterDriver::Result ReplayBus::serialPoll(const Target& target, std::uint8_t& statusByte) {
    State* state = device(target.pad);
    if (state == nullptr) return Result::timeout();
    const auto& polls = recording_.devices[static_cast<std::size_t>(target.pad)].polls;
    if (state->nextPoll < polls.size())
        statusByte = polls[state->nextPoll++];
    else
        statusByte = state->answers.empty() ? 0 : 0x10;
    return Result::ok(1);
}

AdapterDriver::Result ReplayBus::clear(std::int32_t pad, std::int32_t) {
    if (pad == NOADDR) {
        for (State& state : states_)
            clearAnswers(state);
        return Result::ok();
    }
    State* state = device(pad);
    if (state == nullptr) return Result::failed(ENOL);
    clearAnswers(*state);
    return Result::ok();
}

void ReplayBus::clearAnswers(State& state) {
    state.answers.clear();
    state.readPos = 0;
    state.waiting = 0;
}

} // namespace bus
