#include "core/History.h"

#include "core/TextFiles.h"
#include "platform/Text8.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace core {

namespace {

namespace fs = std::filesystem;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendHexByte(std::string& out, const char* prefix, unsigned value, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xF];
}

// A byte text as a JSON string, byte b as U+00bb; a UTF-8 text (a path) as
// the characters it holds.
void appendJsonString(std::string& out, std::string_view bytes, bool utf8 = false) {
    out += '"';
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        switch (b) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // C1 controls too: some readers (Python's splitlines) end a
            // line at U+0085.
            if (b < 0x20 || b == 0x7F || (!utf8 && b <= 0x9F && b >= 0x80))
                appendHexByte(out, "\\u", b, 4);
            else if (utf8)
                out += static_cast<char>(b);
            else
                appendUtf8(out, b);
        }
    }
    out += '"';
}

// Just enough JSON for the history's own lines: one flat object of strings,
// whole numbers and booleans.
class LineReader {
public:
    explicit LineReader(std::string_view text) : p_(text.data()), end_(p_ + text.size()) {}

    bool object(ExchangeRecord& r) {
        if (!take('{')) return false;
        bool haveTime = false;
        if (take('}')) return false;
        do {
            std::string key;
            if (!string(key) || !take(':')) return false;
            if (key == "time") {
                std::string text;
                if (!string(text) || !parseTime(text, r.utcMs)) return false;
                haveTime = true;
            } else if (key == "address") {
                std::int64_t v = 0;
                if (!number(v) || v < 0 || v > 30) return false;
                r.address = static_cast<int>(v);
            } else if (key == "sent" || key == "answer" || key == "verdict" || key == "kind") {
                std::string& field = key == "sent"     ? r.sent
                                     : key == "answer" ? r.answer
                                     : key == "kind"   ? r.kind
                                                       : r.verdict;
                if (!string(field)) return false;
            } else if (key == "file") {
                if (!string(r.file, true)) return false;
            } else if (key == "answerBytes" || key == "durationUs" || key == "bytes") {
                std::int64_t v = 0;
                if (!number(v) || v < 0) return false;
                if (key == "answerBytes") r.answerBytes = static_cast<std::uint64_t>(v);
                if (key == "durationUs") r.durationUs = v;
                if (key == "bytes") r.bytes = static_cast<std::uint64_t>(v);
            } else if (key == "block") {
                if (!boolean(r.block)) return false;
            } else if (!skipValue()) {
                return false;
            }
        } while (take(','));
        if (!take('}')) return false;
        skipSpace();
        return p_ == end_ && haveTime;
    }

    static bool parseTime(std::string_view t, std::int64_t& ms) {
        // YYYY-MM-DDTHH:MM:SS.mmmZ
        if (t.size() != 24 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
            t[16] != ':' || t[19] != '.' || t[23] != 'Z')
            return false;
        const auto field = [&](std::size_t at, std::size_t n, int& v) {
            const auto [ptr, ec] = std::from_chars(t.data() + at, t.data() + at + n, v);
            return ec == std::errc() && ptr == t.data() + at + n;
        };
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, milli = 0;
        if (!field(0, 4, y) || !field(5, 2, mo) || !field(8, 2, d) || !field(11, 2, h) ||
            !field(14, 2, mi) || !field(17, 2, s) || !field(20, 3, milli))
            return false;
        const std::chrono::year_month_day date{std::chrono::year(y),
                                               std::chrono::month(static_cast<unsigned>(mo)),
                                               std::chrono::day(static_cast<unsigned>(d))};
        if (!date.ok() || h > 23 || mi > 59 || s > 60) return false;
        const auto days = std::chrono::sys_days(date).time_since_epoch().count();
        ms = ((static_cast<std::int64_t>(days) * 24 + h) * 60 + mi) * 60000 +
             static_cast<std::int64_t>(s) * 1000 + milli;
        return true;
    }

private:
    void skipSpace() {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
    }
    bool take(char c) {
        skipSpace();
        if (p_ == end_ || *p_ != c) return false;
        ++p_;
        return true;
    }
    bool number(std::int64_t& v) {
        skipSpace();
        const auto [ptr, ec] = std::from_chars(p_, end_, v);
        if (ec != std::errc()) return false;
        p_ = ptr;
        return true;
    }
    bool boolean(bool& v) {
        skipSpace();
        for (const auto& [word, value] : {std::pair{std::string_view("true"), true},
                                          std::pair{std::string_view("false"), false}}) {
            if (static_cast<std::size_t>(end_ - p_) >= word.size() &&
                std::string_view(p_, word.size()) == word) {
                p_ += word.size();
                v = value;
                return true;
            }
        }
        return false;
    }
    bool skipValue() {
        std::string ignored;
        std::int64_t n = 0;
        bool b = false;
        skipSpace();
        if (p_ == end_) return false;
        if (*p_ == '"') return string(ignored);
        if (*p_ == 't' || *p_ == 'f') return boolean(b);
        return number(n);
    }
    // A JSON string of characters up to U+00FF, each one byte; or, for a
    // UTF-8 text, its characters as they stand.
    bool string(std::string& out, bool utf8 = false) {
        out.clear();
        if (!take('"')) return false;
        while (p_ != end_) {
            const auto c = static_cast<unsigned char>(*p_++);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (p_ == end_) return false;
                const char e = *p_++;
                switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned v = 0;
                    if (end_ - p_ < 4) return false;
                    const auto [ptr, ec] = std::from_chars(p_, p_ + 4, v, 16);
                    if (ec != std::errc() || ptr != p_ + 4 || v > 0xFF) return false;
                    p_ += 4;
                    out += static_cast<char>(v);
                    break;
                }
                default:
                    return false;
                }
            } else if (c < 0x80 || utf8) {
                out += static_cast<char>(c);
            } else if ((c & 0xE0) == 0xC0 && p_ != end_ && (*p_ & 0xC0) == 0x80) {
                const unsigned v = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(*p_++) & 0x3Fu);
                if (v < 0x80 || v > 0xFF) return false;
                out += static_cast<char>(v);
            } else {
                return false;
            }
        }
        return false;
    }

    const char* p_;
    const char* end_;
};

std::string shownPath(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool syncToDisk(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

// Writes the text to `path` through a file beside it, so the old file is
// replaced only once the new one is whole on disk.
std::string replaceFile(const fs::path& path, const std::string& content) {
    fs::path temporary = path;
    temporary += ".new";
    std::FILE* f = openFile(temporary, "wb");
    if (f == nullptr) return shownPath(path) + ": " + std::strerror(errno);
    const bool written =
        std::fwrite(content.data(), 1, content.size(), f) == content.size() && syncToDisk(f);
    const int error = errno;
    if (std::fclose(f) != 0 || !written) {
        fs::remove(temporary);
        return shownPath(path) + ": " + std::strerror(written ? errno : error);
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return shownPath(path) + ": " + ec.message();
    }
    return {};
}

} // namespace

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        appendUtf8(out, c >= 0xD800 && c < 0xE000 ? U'\uFFFD' : c);
    }
    return out;
}

std::string isoUtc(std::int64_t utcMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds(utcMs)};
    const auto day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{t - day};
    char text[32];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string shownText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '\r')
            out += "\\r";
        else if (b == '\n')
            out += "\\n";
        else if (const char16_t c = platform::charOfByte(b); c < 0x20 || (c >= 0x7F && c <= 0x9F))
            appendHexByte(out, "\\x", b, 2); // the code page's unassigned bytes too
        else
            appendUtf8(out, c);
    }
    return out;
}

std::string shownSent(const ExchangeRecord& record) {
    if (record.kind == "from file") return "from file " + record.file;
    return shownText(record.sent);
}

std::string shownAnswer(const ExchangeRecord& record) {
    const std::string bytes = ", " + std::to_string(record.answerBytes) + " bytes";
    if (record.kind == "to file") return "to file " + record.file + bytes;
    if (record.block) return "block" + bytes;
    return shownText(record.answer);
}

bool ExchangeRecord::operator==(const ExchangeRecord& o) const {
    return utcMs == o.utcMs && address == o.address && sent == o.sent && answer == o.answer &&
           answerBytes == o.answerBytes && block == o.block && durationUs == o.durationUs &&
           bytes == o.bytes && verdict == o.verdict && kind == o.kind && file == o.file;
}

std::string toJsonLine(const ExchangeRecord& r) {
    std::string line = "{\"time\":\"" + isoUtc(r.utcMs) +
                       "\",\"address\":" + std::to_string(r.address) + ",\"sent\":";
    appendJsonString(line, r.sent);
    line += ",\"answer\":";
    appendJsonString(line, r.answer);
    line += ",\"answerBytes\":" + std::to_string(r.answerBytes) +
            ",\"block\":" + (r.block ? "true" : "false") +
            ",\"durationUs\":" + std::to_string(r.durationUs) +
            ",\"bytes\":" + std::to_string(r.bytes) + ",\"verdict\":";
    appendJsonString(line, r.verdict);
    if (!r.kind.empty()) {
        line += ",\"kind\":";
        appendJsonString(line, r.kind);
    }
    if (!r.file.empty()) {
        line += ",\"file\":";
        appendJsonString(line, r.file, true);
    }
    line += '}';
    return line;
}

std::optional<ExchangeRecord> fromJsonLine(std::string_view line) {
    ExchangeRecord r;
    if (!LineReader(line).object(r)) return std::nullopt;
    return r;
}

std::string csvHeader() {
    return "time,address,sent,answer,duration_ms,bytes,verdict\r\n";
}

std::string toCsvRow(const ExchangeRecord& r) {
    std::string row = isoUtc(r.utcMs) + ',' + std::to_string(r.address) + ',';
    appendCsvField(row, shownSent(r));
    row += ',';
    appendCsvField(row, shownAnswer(r));
    char duration[32];
    std::snprintf(duration, sizeof duration, ",%.3f,", static_cast<double>(r.durationUs) / 1000);
    row += duration;
    row += std::to_string(r.bytes) + ',';
    appendCsvField(row, shownText(r.verdict));
    row += "\r\n";
    return row;
}

History::History(std::size_t cap, std::size_t heldAnswers)
    : cap_(std::max<std::size_t>(cap, 1)), heldLimit_(heldAnswers) {}

History::~History() {
    if (file_ != nullptr) std::fclose(file_);
}

std::string History::open(const fs::path& path) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    dropped_ += rows_.size();
    rows_.clear();
    holding_.clear();
    held_ = 0;
    linesInFile_ = 0;
    path_ = path;
    std::string note;
    std::error_code ec;
    if (fs::exists(path, ec)) {
        std::string content;
        bool readable = false;
        {
            // Closed before the file is cut or set aside: Windows renames
            // no open file.
            std::ifstream in(path, std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            readable = in.is_open() && !in.bad();
        }
        // A line without its end was being written when the console was
        // killed: it goes, the rest stays.
        const std::size_t whole =
            content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1;
        for (std::size_t start = 0; readable && start < whole;) {
            const std::size_t end = content.find('\n', start);
            std::string_view line(content.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            start = end + 1;
            if (line.empty()) continue;
            std::optional<ExchangeRecord> r = fromJsonLine(line);
            if (!r) {
                readable = false;
                break;
            }
            rows_.push_back(std::move(*r));
            ++linesInFile_;
            if (rows_.size() > cap_) {
                rows_.pop_front();
                ++dropped_;
            }
        }
        if (!readable) {
            dropped_ += rows_.size();
            rows_.clear();
            linesInFile_ = 0;
            // Never over an earlier file set aside.
            fs::path aside = path;
            aside += ".unreadable";
            for (int n = 2; fs::exists(aside, ec) && n < 1000; ++n) {
                aside = path;
                aside += ".unreadable-" + std::to_string(n);
            }
            fs::rename(path, aside, ec);
            note = ec ? "The history file " + shownPath(path) + " cannot be read, nor set aside (" +
                            ec.message() + "); the history of this run is not kept."
                      : "The history file " + shownPath(path) +
                            " cannot be read; it was set aside as " + shownPath(aside) +
                            " and a new history begins.";
            if (ec) return note;
        } else if (whole < content.size()) {
            fs::resize_file(path, whole, ec);
        }
    }
    file_ = openFile(path, "ab");
    if (file_ == nullptr) {
        return note + (note.empty() ? "" : "\n") + "The history file " + shownPath(path) +
               " cannot be written: " + std::strerror(errno) + ".";
    }
    if (linesInFile_ > cap_ + cap_ / 10) compact();
    return note;
}

bool History::add(ExchangeRecord record) {
    bool kept = true;
    if (file_ != nullptr) {
        const std::string line = toJsonLine(record) + '\n';
        kept = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
               std::fflush(file_) == 0;
        ++linesInFile_;
    } else {
        kept = path_.empty();
    }
    if (record.whole) {
        holding_.push_back(dropped_ + rows_.size());
        held_ += record.whole->size();
    }
    rows_.push_back(std::move(record));
    // The oldest whole answers go first; their rows stay.
    while (held_ > heldLimit_ && holding_.size() > 1) {
        const std::size_t number = holding_.front();
        holding_.pop_front();
        if (number < dropped_) continue;
        auto& whole = rows_[number - dropped_].whole;
        held_ -= whole ? whole->size() : 0;
        whole.reset();
    }
    if (rows_.size() > cap_) {
        if (rows_.front().whole) held_ -= rows_.front().whole->size();
        rows_.pop_front();
        ++dropped_;
    }
    if (file_ != nullptr && linesInFile_ > cap_ + cap_ / 10) kept = compact() && kept;
    return kept;
}

bool History::compact() {
    std::string content;
    for (const ExchangeRecord& r : rows_)
        content += toJsonLine(r) + '\n';
    std::fclose(file_);
    file_ = nullptr;
    const bool replaced = replaceFile(path_, content).empty();
    if (replaced) linesInFile_ = rows_.size();
    file_ = openFile(path_, "ab");
    return replaced && file_ != nullptr;
}

bool matchesSearch(const ExchangeRecord& r, std::string_view text, int address,
                   std::string_view verdict) {
    return (address == 0 || r.address == address) && containsIgnoringCase(r.verdict, verdict) &&
           (containsIgnoringCase(r.sent, text) || containsIgnoringCase(r.answer, text));
}

std::vector<std::size_t> History::find(std::string_view text, int address,
                                       std::string_view verdict) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (matchesSearch(rows_[i], text, address, verdict)) found.push_back(i);
    return found;
}

std::string History::exportCsv(const fs::path& path, const std::vector<std::size_t>& rows) const {
    std::string content = csvHeader();
    for (const std::size_t i : rows)
        if (i < rows_.size()) content += toCsvRow(rows_[i]);
    return replaceFile(path, content);
}

std::string History::exportJsonLines(const fs::path& path,
                                     const std::vector<std::size_t>& rows) const {
    std::string content;
    for (const std::size_t i : rows)
        if (i < rows_.size()) content += toJsonLine(rows_[i]) + '\n';
    return replaceFile(path, content);
}

} // namespace core
