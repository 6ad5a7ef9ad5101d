#include "core/Sequence.h"

#include "core/TextFiles.h"
#include "platform/Text8.h"
#include "platform/TextTrim.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <thread>

namespace core {

namespace {

// The outgoing list's first entry, which shows the help and is no message.
constexpr std::u16string_view kHelpEntry = u"<Help>";

std::optional<double> numberOf(std::string_view token) {
    // from_chars takes no "+"; a sign after it ("+-1") is no number either.
    if (!token.empty() && token.front() == '+') {
        token.remove_prefix(1);
        if (!token.empty() && (token.front() == '+' || token.front() == '-')) return std::nullopt;
    }
    double value = 0;
    const char* end = token.data() + token.size();
    const auto [at, error] = std::from_chars(token.data(), end, value, std::chars_format::general);
    // Instruments say "9.91E37" for not-a-number; a spelled-out "nan" or
    // "inf" is no reading.
    if (error != std::errc() || at != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string shortest(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

} // namespace

std::optional<Outgoing> outgoingOf(std::u16string_view entry, bool addCr, bool addLf) {
    const std::u16string_view trimmed = platform::trimSpaces(entry);
    if (trimmed.empty() || entry == kHelpEntry) return std::nullopt;
    Outgoing out{std::u16string(trimmed), entry.find(u'?') != std::u16string_view::npos};
    if (const auto pair = out.text.find(u"??"); out.query && pair != std::u16string::npos)
        out.text.erase(pair, 2);
    if (out.text.empty()) return out;
    if (addCr) out.text += u'\r';
    if (addLf) out.text += u'\n';
    return out;
}

std::optional<std::vector<double>> parseNumbers(std::string_view answer) {
    constexpr std::string_view kBlanks = " \t";
    answer = platform::trimSpaces(answer, platform::kBlanksAndLineEnds);
    if (answer.empty()) return std::nullopt;
    std::vector<double> numbers;
    // Commas part the fields; an empty one ("1,,2", "1,") is no number. In a
    // field, runs of blanks part the numbers.
    for (std::size_t at = 0;;) {
        const std::size_t comma = std::min(answer.find(',', at), answer.size());
        std::string_view field = platform::trimSpaces(answer.substr(at, comma - at), kBlanks);
        if (field.empty()) return std::nullopt;
        while (!field.empty()) {
            const std::size_t blank = std::min(field.find_first_of(kBlanks), field.size());
            const auto number = numberOf(field.substr(0, blank));
            if (!number) return std::nullopt;
            numbers.push_back(*number);
            field = platform::trimSpaces(field.substr(blank), kBlanks);
        }
        if (comma == answer.size()) return numbers;
        at = comma + 1;
    }
}

std::string logHeader() {
    return "utc_time,elapsed_s,device,message,value,verdict\r\n";
}

std::string logRow(const LogRow& row) {
    std::string out = isoUtc(row.utcMs);
    out += ',';
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.3f", row.elapsedS);
    out += elapsed;
    out += ',';
    out += std::to_string(row.address);
    out += ',';
    appendCsvField(out, row.message);
    out += ',';
    if (row.value) out += shortest(*row.value);
    out += ',';
    appendCsvField(out, row.verdict);
    out += "\r\n";
    return out;
}

SequenceLog::~SequenceLog() {
    if (file_ != nullptr) std::fclose(file_);
}

std::string SequenceLog::open(const std::filesystem::path& path) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = openFile(path, "wb");
    const auto shown = path.u8string();
    const std::string name(shown.begin(), shown.end());
    if (file_ == nullptr)
        return "The log file\n" + name + "\ncannot be written: " + std::strerror(errno) + ".";
    if (!put(logHeader())) return "The log file\n" + name + "\ncannot be written.";
    return {};
}

bool SequenceLog::write(const LogRow& row) {
    return put(logRow(row));
}

bool SequenceLog::put(const std::string& text) {
    if (file_ == nullptr) return false;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0)
        return true;
    std::fclose(file_);
    file_ = nullptr;
    return false;
}

bool waitInSlices(std::chrono::milliseconds total, std::chrono::milliseconds slice,
                  const std::function<bool()>& stop,
                  const std::function<void(std::chrono::milliseconds)>& sleep) {
    if (slice <= std::chrono::milliseconds::zero()) slice = std::chrono::milliseconds(1);
    for (auto left = total; left > std::chrono::milliseconds::zero(); left -= slice) {
        if (stop()) return false;
        sleep(std::min(left, slice));
    }
    return !stop();
}

SequenceRun::SequenceRun(Console& console, SequencePlan plan, SequenceLog* log)
    : console_(console), plan_(std::move(plan)), log_(log) {}

bool SequenceRun::logAnswer(const Outgoing& out, std::u16string_view entry,
                            const std::u16string& answer, std::string_view unread,
                            SequenceOutcome& outcome) {
    // A query that came back with no answer (failed, timed out, stopped) is
    // a row with an empty value; an answer that is not numbers is only in
    // the history.
    std::optional<std::vector<double>> numbers;
    if (!answer.empty()) {
        numbers = parseNumbers(platform::toBytes(answer));
        if (!numbers) return true;
    }
    LogRow row;
    row.utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
    row.elapsedS =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    row.address = console_.devices().SelectedAddress & 0xFF;
    row.message = toUtf8(platform::trimSpaces(entry));
    // A query whose write failed is told only with the next exchange; the
    // record heard last is then another message's.
    if (lastRecord_ && lastRecord_->sent == platform::toBytes(out.text))
        row.verdict = lastRecord_->verdict;
    else
        row.verdict = unread;
    const std::size_t count = numbers ? numbers->size() : 1;
    for (std::size_t k = 0; k < count; ++k) {
        row.value = numbers ? std::optional<double>((*numbers)[k]) : std::nullopt;
        row.position = k;
        if (log_ != nullptr && !log_->write(row)) {
            outcome.logFailed = true;
            return false;
        }
        ++outcome.rows;
        if (rowLogged_) rowLogged_(row);
    }
    return true;
}

SequenceOutcome SequenceRun::run(const Console::Operation& operation) {
    SequenceOutcome outcome;
    started_ = std::chrono::steady_clock::now();
    bus::BusSession& session = console_.session();
    for (int round = 0; plan_.rounds == 0 || round < plan_.rounds; ++round) {
        if (round > 0 && plan_.interval.count() > 0)
            console_.runOnWorker(operation, [&] {
                waitInSlices(
                    plan_.interval, kWaitSlice, [&] { return console_.stopRequested(); },
                    [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); });
            });
        if (console_.stopRequested()) break;
        ++outcome.rounds;
        for (const std::u16string& entry : plan_.entries) {
            console_.keepWindowRunning(operation);
            if (console_.stopRequested()) break;
            const auto out = outgoingOf(entry, plan_.addCr, plan_.addLf);
            if (!out) continue;
            lastRecord_.reset();
            console_.PreWriteClearing(operation);
            session.ErrorFlag = false;
            const bool rejected = !out->text.empty() && console_.WriteMessage(operation, out->text);
            const bool wrote = !session.ErrorFlag;
            std::u16string answer;
            // Nobody may be watching a run: a query without an answer is an
            // empty cell, not a box that holds the run until someone comes.
            if (out->query && wrote) answer = console_.ReadResponse(operation, true);
            console_.judge(operation);
            const std::string_view unread = wrote ? "" : rejected ? "rejected" : "failed";
            if (out->query && !logAnswer(*out, entry, answer, unread, outcome)) return outcome;
        }
        if (console_.stopRequested()) break;
    }
    outcome.stopped = console_.stopRequested();
    return outcome;
}

} // namespace core
