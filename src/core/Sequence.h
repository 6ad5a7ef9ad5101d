#pragma once

#include "core/Console.h"
#include "core/History.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// A run of the outgoing list: its entries sent in turn to the selected
// device, round after round, the numbers in the answers logged.
struct SequencePlan {
    std::vector<std::u16string> entries;   // as the list shows them
    int rounds = 1;                        // 0: until the operator stops it
    std::chrono::milliseconds interval{0}; // from the end of a round to the next
    bool addCr = false;                    // the line ends the options add
    bool addLf = false;
};

// What goes out for an entry, as the send cycle makes it: the entry trimmed,
// "??" taken out (it asks for an answer without sending a question mark),
// then the line ends. A "?" anywhere makes it a query; a bare "??" writes
// nothing and only reads.
struct Outgoing {
    std::u16string text; // empty: nothing written
    bool query = false;
};
// Nothing for a blank entry or the list's "<Help>".
std::optional<Outgoing> outgoingOf(std::u16string_view entry, bool addCr, bool addLf);

// The numbers of an answer: one number, or a list of them separated by commas
// or blanks, line ends around it ignored; "+1.5E-3" and "9.9E37" are numbers.
// Nothing for an empty answer or one with anything but numbers in it.
std::optional<std::vector<double>> parseNumbers(std::string_view answer);

// One row of the run's log: a number of an answer, or an empty value where the
// read failed. An answer of several numbers gives one row each, in order.
struct LogRow {
    std::int64_t utcMs = 0;
    double elapsedS = 0; // since the run began
    int address = 0;
    std::string message; // the entry, in UTF-8
    std::optional<double> value;
    std::string verdict;      // as the exchange's record has it
    std::size_t position = 0; // the number's place in its answer (not logged)
};

// The log is CSV (RFC 4180, UTF-8, CR LF after each row) under this header:
// utc_time,elapsed_s,device,message,value,verdict
std::string logHeader();
std::string logRow(const LogRow& row);

// The log file of a run: the header, then each row flushed to the system as
// it is written, so a console killed at any moment keeps every row but the
// one being written.
class SequenceLog {
public:
    SequenceLog() = default;
    ~SequenceLog();
    SequenceLog(const SequenceLog&) = delete;
    SequenceLog& operator=(const SequenceLog&) = delete;

    // Creates (or empties) the file and writes the header. The text says what
    // went wrong, for the operator; empty when nothing did.
    std::string open(const std::filesystem::path& path);
    bool write(const LogRow& row);
    bool isOpen() const { return file_ != nullptr; }

private:
    bool put(const std::string& text);
    std::FILE* file_ = nullptr;
};

// Waits `total` in slices of at most `slice`, asking `stop` before each; false
// when it was stopped before the end.
bool waitInSlices(std::chrono::milliseconds total, std::chrono::milliseconds slice,
                  const std::function<bool()>& stop,
                  const std::function<void(std::chrono::milliseconds)>& sleep);

struct SequenceOutcome {
    int rounds = 0;         // rounds begun
    std::size_t rows = 0;   // rows logged
    bool stopped = false;   // the operator stopped it
    bool logFailed = false; // the log could not take a row: the run ended there
};

// Runs a plan on the selected device under one operation. Each message is an
// exchange as in the send cycle (a record for the history, the device's
// verdict when asked for); the waits between rounds run on the console's
// worker in short slices, so a stop ends the run at once.
class SequenceRun {
public:
    SequenceRun(Console& console, SequencePlan plan, SequenceLog* log = nullptr);

    // Told each row as it is logged (with no log open too).
    void setRowLogged(std::function<void(const LogRow&)> logged) { rowLogged_ = std::move(logged); }
    // The console's records, passed on by whoever hears them, give the rows
    // their verdicts.
    void exchangeRecorded(const ExchangeRecord& record) { lastRecord_ = record; }

    SequenceOutcome run(const Console::Operation& operation);

    static constexpr std::chrono::milliseconds kWaitSlice{10};

private:
    // Logs a query's answer; `unread` is the verdict of one whose write failed.
    bool logAnswer(const Outgoing& out, std::u16string_view entry, const std::u16string& answer,
                   std::string_view unread, SequenceOutcome& outcome);

    Console& console_;
    SequencePlan plan_;
    SequenceLog* log_;
    std::function<void(const LogRow&)> rowLogged_;
    std::optional<ExchangeRecord> lastRecord_;
    std::chrono::steady_clock::time_point started_{};
};

} // namespace core
