#include "bus/drivers/ReplayBus.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>

namespace bus {

namespace {

// One JSON value, as much as a trace line holds.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    double number = 0;
    std::string text;              // a string's bytes (U+0000 to U+00FF as one byte each)
    std::vector<Json> items;       // an array's items, an object's values
    std::vector<std::string> keys; // an object's keys

    const Json* get(std::string_view key) const {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return &items[i];
        return nullptr;
    }
};

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
void appendCharacter(std::string& out, std::uint32_t c) {
    if (c <= 0xFF)
        out += static_cast<char>(c);
    else
        appendUtf8(out, c);
}

// A parser for one line, linear in its length; false on anything not JSON.
class JsonParser {
public:
    explicit JsonParser(std::string_view text) : p_(text.data()), end_(p_ + text.size()) {}

    bool parse(Json& out) {
        if (!value(out, 0)) return false;
        blanks();
        return p_ == end_;
    }

private:
    static constexpr int kMaxDepth = 64;

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

    bool value(Json& out, int depth) {
        blanks();
        if (p_ == end_ || depth > kMaxDepth) return false;
        switch (*p_) {
        case '{':
            return object(out, depth);
        case '[':
            return array(out, depth);
        case '"':
            out.kind = Json::Kind::String;
            return string(out.text);
        case 't':
            out.kind = Json::Kind::Bool;
            out.number = 1;
            return literal("true");
        case 'f':
            out.kind = Json::Kind::Bool;
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return numberValue(out);
        }
    }

    bool numberValue(Json& out) {
        if (*p_ != '-' && (*p_ < '0' || *p_ > '9')) return false;
        const auto result = std::from_chars(p_, end_, out.number);
        if (result.ec != std::errc()) return false;
        out.kind = Json::Kind::Number;
        p_ = result.ptr;
        return true;
    }

    bool array(Json& out, int depth) {
        out.kind = Json::Kind::Array;
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == ']') return ++p_, true;
        for (;;) {
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) return false;
            blanks();
            if (p_ == end_) return false;
            if (*p_++ == ']') return true;
            if (p_[-1] != ',') return false;
        }
    }

    bool object(Json& out, int depth) {
        out.kind = Json::Kind::Object;
        ++p_;
        blanks();
        if (p_ != end_ && *p_ == '}') return ++p_, true;
        for (;;) {
            blanks();
            if (p_ == end_ || *p_ != '"') return false;
            out.keys.emplace_back();
            if (!string(out.keys.back())) return false;
            blanks();
            if (p_ == end_ || *p_++ != ':') return false;
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) return false;
            blanks();
            if (p_ == end_) return false;
            if (*p_++ == '}') return true;
            if (p_[-1] != ',') return false;
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

    bool escape(std::string& out) {
        if (p_ == end_) return false;
        const char e = *p_++;
        switch (e) {
        case '"':
        case '\\':
        case '/':
            out += e;
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u': {
            std::uint32_t c = 0;
            if (!hex4(c)) return false;
            if (c >= 0xD800 && c < 0xDC00) {
                std::uint32_t low = 0;
                if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
            appendCharacter(out, c);
            return true;
        }
        default:
            return false;
        }
    }

    // A UTF-8 sequence starting at p_ (its lead byte at least 0x80).
    bool utf8(std::string& out) {
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

    bool string(std::string& out) {
        ++p_;
        for (;;) {
            const char* run = p_;
            while (p_ != end_ && *p_ != '"' && *p_ != '\\' &&
                   static_cast<unsigned char>(*p_) >= 0x20 &&
                   static_cast<unsigned char>(*p_) < 0x80)
                ++p_;
            out.append(run, p_);
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

    const char* p_;
    const char* end_;
};

int integer(const Json* value, int otherwise = -1) {
    // Only numbers an int holds: a cast of any other would be undefined.
    if (value == nullptr || value->kind != Json::Kind::Number || !(value->number > -2e9) ||
        !(value->number < 2e9))
        return otherwise;
    return static_cast<int>(value->number);
}

const Json* arg(const Json* args, std::size_t i) {
    if (args == nullptr || args->kind != Json::Kind::Array || i >= args->items.size())
        return nullptr;
    return &args->items[i];
}

bool validPad(int pad) {
    return pad >= 1 && pad <= AdapterDriver::kMaxAddress;
}

// Turns trace lines into a recording, one line at a time.
class Recorder {
public:
    explicit Recorder(Recording& recording) : r_(recording) {}

    void line(const Json& call) {
        const Json* op = call.get("op");
        if (op == nullptr || op->kind != Json::Kind::String) return;
        const Json* args = call.get("args");
        const Json* data = call.get("data");
        const int status = integer(call.get("ibsta"), 0);
        if ((status & ERR) != 0 && op->text != "ibrd") return;
        const std::string& name = op->text;
        if (name == "ibdev") {
            const int ud = integer(data);
            if (ud > 0) pads_[ud] = integer(arg(args, 1));
        } else if (name == "ibpad") {
            pads_[integer(arg(args, 0))] = integer(arg(args, 1));
        } else if (name == "FindLstn") {
            sawFindLstn_ = true;
            if (data == nullptr || data->kind != Json::Kind::Array) return;
            for (const Json& found : data->items) {
                const int pad = integer(&found) & 0xFF;
                if (validPad(pad)) r_.devices[static_cast<std::size_t>(pad)].listening = true;
            }
        } else if (name == "ibwrt") {
            write(integer(arg(args, 0)), arg(args, 1));
        } else if (name == "ibrd") {
            read(integer(arg(args, 0)), data, status);
        } else if (name == "ibrsp") {
            const int pad = padOf(integer(arg(args, 0)));
            const int value = integer(data);
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

    void write(int ud, const Json* bytes) {
        const int pad = padOf(ud);
        if (!validPad(pad) || bytes == nullptr || bytes->kind != Json::Kind::String) return;
        const auto index = static_cast<std::size_t>(pad);
        Recording::Device& device = r_.devices[index];
        written_[index] = true;
        const auto [it, added] = device.byWrite.try_emplace(bytes->text, device.exchanges.size());
        if (added) device.exchanges.push_back({bytes->text, {}});
        device.exchanges[it->second].times.emplace_back();
        current_[index] = {it->second, false};
    }

    void read(int ud, const Json* data, int status) {
        const int pad = padOf(ud);
        if (!validPad(pad)) return;
        Current& current = current_[static_cast<std::size_t>(pad)];
        if (current.exchange == kNone) return;
        auto& answers =
            r_.devices[static_cast<std::size_t>(pad)].exchanges[current.exchange].times.back();
        if (data != nullptr && data->kind == Json::Kind::String && !data->text.empty()) {
            if (!current.open) answers.emplace_back();
            answers.back() += data->text;
            current.open = true;
        }
        if ((status & END) != 0) current.open = false;
    }

    Recording& r_;
    std::unordered_map<int, int> pads_;
    std::array<Current, AdapterDriver::kMaxAddress + 1> current_{};
    std::array<bool, AdapterDriver::kMaxAddress + 1> written_{};
    bool sawFindLstn_ = false;
};

} // namespace

ReplayLoad readTrace(std::string_view text, const std::string& name) {
    ReplayLoad load;
    Recorder recorder(load.recording);
    std::vector<std::size_t> badLines;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        Json call;
        if (!JsonParser(line).parse(call) || call.kind != Json::Kind::Object) {
            badLines.push_back(lineNumber);
            continue;
        }
        recorder.line(call);
    }
    recorder.finish();

    if (!badLines.empty()) {
        std::string note = name + ": " + std::to_string(badLines.size()) +
                           (badLines.size() == 1 ? " line is" : " lines are") +
                           " not valid JSON and skipped (line";
        note += badLines.size() == 1 ? " " : "s ";
        for (std::size_t i = 0; i < badLines.size() && i < 10; ++i)
            note += (i == 0 ? "" : ", ") + std::to_string(badLines[i]);
        note += badLines.size() > 10 ? ", ...)" : ")";
        load.notes.push_back(note);
    }
    if (!recorder.sawFindLstn())
        load.notes.push_back(name + ": no FindLstn in the trace; the devices written to listen");
    const bool anyone = std::any_of(load.recording.devices.begin(), load.recording.devices.end(),
                                    [](const Recording::Device& d) { return d.listening; });
    if (!anyone) load.error = name + ": the trace shows no device on the bus";
    return load;
}

ReplayLoad loadTrace(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        ReplayLoad load;
        load.error = "cannot open trace file '" + path + "'";
        return load;
    }
    std::string text;
    char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        text.append(chunk, n);
    if (std::ferror(file.get())) {
        ReplayLoad load;
        load.error = "cannot read trace file '" + path + "'";
        return load;
    }
    return readTrace(text, path);
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
    for (const std::string& answer : answers)
        state->answers.push_back(answer);
    return Result::ok(size);
}

AdapterDriver::Result ReplayBus::read(const Target& target, char* buffer, std::size_t size) {
    State* state = device(target.pad);
    if (state == nullptr || state->answers.empty()) return Result::timeout();
    const std::string& answer = state->answers.front();
    const std::size_t n = std::min(size, answer.size() - state->readPos);
    std::copy_n(answer.data() + state->readPos, n, buffer);
    state->readPos += n;
    if (state->readPos < answer.size()) return Result::ok(n, false);
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
        for (State& state : states_) {
            state.answers.clear();
            state.readPos = 0;
        }
        return Result::ok();
    }
    State* state = device(pad);
    if (state == nullptr) return Result::failed(ENOL);
    state->answers.clear();
    state->readPos = 0;
    return Result::ok();
}

} // namespace bus
