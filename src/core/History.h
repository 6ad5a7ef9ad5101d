#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// One exchange with a device, as the console saw it: what went out, what
// came back, how long it took and what became of it. The history, its file
// and its exports all take this one value; none rebuilds it from the window.
struct ExchangeRecord {
    std::int64_t utcMs = 0; // when it began, milliseconds since 1970 UTC
    int address = 0;        // the device's primary address
    std::string sent;       // the bytes written, line ends included
    std::string answer;     // the answer's first kKeptAnswer bytes (none for a block)
    std::uint64_t answerBytes = 0;
    bool block = false; // the answer is a definite-length block ("#...")
    std::int64_t durationUs = 0;
    std::uint64_t bytes = 0; // bytes moved both ways
    // "" when the exchange went as asked; otherwise what became of it:
    // "rejected", "no answer", "stopped", "failed", or a verdict's text.
    std::string verdict;
    // "" for a message; "id all" for a device's answer to Id All; "to file"
    // for an answer received into `file`, "from file" for `file` sent.
    std::string kind;
    std::string file; // in UTF-8
    // The whole answer of a block or of a long one, while the history still
    // holds it in memory (never in the file): the Hex and Plot windows show it.
    std::shared_ptr<const std::u16string> whole;

    // Longer answers are kept only in part; the whole stays in the view.
    static constexpr std::size_t kKeptAnswer = 4096;

    // What was exchanged; the answer held in memory is no part of it.
    bool operator==(const ExchangeRecord& other) const;
};

// A text of the window (a file's path) in UTF-8.
std::string toUtf8(std::u16string_view text);
// "2026-12-07T02:45:01.123Z".
std::string isoUtc(std::int64_t utcMs);
// The bytes as characters (the console's 8-bit code page) in UTF-8, with
// CR, LF and the other control characters shown as \r, \n and \xHH.
std::string shownText(std::string_view bytes);
// The sent column: the message, or "from file PATH".
std::string shownSent(const ExchangeRecord& record);
// The answer column: its text, "block, N bytes" or "to file PATH, N bytes".
std::string shownAnswer(const ExchangeRecord& record);

// One line of the history file and of the JSON Lines export, without its
// line end: a JSON object, each byte b of the texts as U+00bb.
std::string toJsonLine(const ExchangeRecord& record);
std::optional<ExchangeRecord> fromJsonLine(std::string_view line);

// The CSV export (RFC 4180: a header row, fields quoted where they must be,
// CR LF after every row, UTF-8).
std::string csvHeader();
std::string toCsvRow(const ExchangeRecord& record);

// Whether the record's sent or answer bytes contain `text` (bytes in the
// console's code page, letter case aside), it is of the device at `address`
// (0: any) and its verdict contains `verdict`.
bool matchesSearch(const ExchangeRecord& record, std::string_view text, int address,
                   std::string_view verdict);

// The exchanges of this and earlier runs, oldest first, at most `cap` of
// them, kept in a JSON Lines file beside the start-up message list.
//
// Each exchange is appended to the file as one line and flushed to the
// system at once, so a console killed at any moment loses at most the line
// it was writing; a line cut short that way is dropped when the file is next
// opened. A file that cannot be read is set aside under another name, never
// lost, and the console starts with an empty history.
class History {
public:
    static constexpr std::size_t kDefaultCap = 100000;
    // The whole answers held for Hex and Plot, newest first, up to this many
    // characters together.
    static constexpr std::size_t kHeldAnswers = 64u << 20;

    explicit History(std::size_t cap = kDefaultCap, std::size_t heldAnswers = kHeldAnswers);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Reads the file (when there is one) and keeps appending to it. The text
    // says what went wrong, for the operator; empty when nothing did.
    std::string open(const std::filesystem::path& path);
    // Adds the exchange, dropping the oldest beyond the cap. False when the
    // file could not take it (the history in memory still has it).
    bool add(ExchangeRecord record);

    std::size_t size() const { return rows_.size(); }
    // How many of the oldest rows the cap has dropped since the history
    // was made: a row's number since then is dropped() + its index.
    std::size_t dropped() const { return dropped_; }
    const ExchangeRecord& operator[](std::size_t i) const { return rows_[i]; }

    // The rows that match the search, as matchesSearch says.
    std::vector<std::size_t> find(std::string_view text, int address = 0,
                                  std::string_view verdict = {}) const;

    // Writes the chosen rows to a file, replacing it only once all is
    // written. The text says what went wrong; empty when nothing did.
    std::string exportCsv(const std::filesystem::path& path,
                          const std::vector<std::size_t>& rows) const;
    std::string exportJsonLines(const std::filesystem::path& path,
                                const std::vector<std::size_t>& rows) const;

private:
    // Rewrites the file with the rows kept, once it holds a tenth more.
    bool compact();

    std::size_t cap_;
    std::deque<ExchangeRecord> rows_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::size_t linesInFile_ = 0;
    std::size_t dropped_ = 0;
    // The rows (by number since the history was made) holding whole answers,
    // oldest first, and the characters they hold.
    std::deque<std::size_t> holding_;
    std::size_t held_ = 0;
    std::size_t heldLimit_;
};

} // namespace core
