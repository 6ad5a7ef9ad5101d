#pragma once

#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace datafiles_testing {

// The byte at `offset` of a generated answer: every value 0-255 comes up,
// line ends and NUL included, and no two neighbouring kilobytes are alike.
inline char patternByte(std::uint64_t offset) {
    return static_cast<char>((offset * 131 + (offset >> 10)) & 0xFF);
}

inline void fillPattern(std::uint64_t offset, char* dest, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        dest[i] = patternByte(offset + i);
}

// An instrument that keeps every byte it is sent, each message whole (line
// feeds are data to it), and answers any message holding a question mark
// with `answer`, or with a generated answer of `generatedSize` bytes.
class FileBench final : public bus::sim::Instrument {
public:
    std::string received;
    int messages = 0;
    std::string answer = "answer\n";
    std::uint64_t generatedSize = 0;

protected:
    void execute(std::string_view message) override {
        received.append(message);
        ++messages;
        if (message.find('?') == std::string_view::npos) return;
        if (generatedSize > 0) {
            queueGenerated(generatedSize, fillPattern);
        } else {
            queueOutput(answer);
        }
    }
    std::uint8_t statusByte() const override { return 0; }
    bool serviceCondition() const override { return false; }
    bool lineFeedEndsMessage() const override { return false; }
    std::size_t maxMessageLength() const override {
        return std::numeric_limits<std::size_t>::max();
    }
};

// A bus with only the file bench, at address 7.
inline std::unique_ptr<bus::SimulatedBus> fileBenchBus(FileBench*& bench) {
    auto bus = std::make_unique<bus::SimulatedBus>();
    auto device = std::make_unique<FileBench>();
    bench = device.get();
    bus->attach(7, std::move(device));
    return bus;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace datafiles_testing
