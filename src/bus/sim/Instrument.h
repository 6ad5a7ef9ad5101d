#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bus::sim {

// One device on the simulated bus, as the bus sees it: bytes come in and
// form messages, answers wait in an output queue until the controller reads
// them, and a status byte answers serial polls. Subclasses say what a message
// does and what the status byte holds; this class keeps the input, the output
// queue and the service request.
//
// A message is complete at its last byte sent with EOI, or at a line feed
// (unless the device takes line feeds as data). Each answer in the output
// queue goes out with END on its last byte. A message that begins while an
// answer is still unread is the device's own rule to handle (see
// newMessageWhileAnswerWaits). A service request is raised when the device's
// service condition turns on, taken back when it turns off, and cleared by a
// serial poll until the condition turns on again.
class Instrument {
public:
    // The device's own answers fill its output queue up to this many bytes,
    // as a real device's memory ends somewhere (a full waveform is a few
    // hundred kilobytes); what does not fit is lost and outputOverflow() is
    // called.
    static constexpr std::uint64_t kMaxOutput = 4u << 20;

    Instrument() = default;
    virtual ~Instrument() = default;
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Bytes from the controller; `end` means EOI came with the last of them.
    // Never throws: a message the device runs out of memory on is dropped and
    // outOfMemory() called, since a driver call must not end in an exception.
    void receive(std::string_view bytes, bool end);

    bool hasOutput() const { return head_ < answers_.size(); }
    // Bytes waiting in the output queue, all answers together.
    std::uint64_t outputSize() const;
    // The part of them held in memory (generated answers are made as read).
    std::uint64_t storedOutputSize() const { return output_.size() - readPos_; }
    // Copies at most `capacity` bytes of the answer at the head of the queue;
    // `end` tells whether the last byte copied is that answer's last.
    std::size_t talk(char* dest, std::size_t capacity, bool& end);
    // Puts bytes in the output queue as one answer, as if the device had
    // answered a query (nothing is added to them, no limit applies). Empty
    // bytes are ignored.
    void queueOutput(std::string bytes);

    // Fills dest with the n bytes of a generated answer that start at offset.
    using Generator = std::function<void(std::uint64_t offset, char* dest, std::size_t n)>;
    // Puts an answer of `size` bytes in the output queue whose bytes are made
    // only as the controller reads them, so an answer of any size costs no
    // memory. A size of 0 is ignored.
    void queueGenerated(std::uint64_t size, Generator generate);

    // The status byte, with RQS (0x40) while a request is pending; the poll
    // clears the request.
    std::uint8_t serialPoll();
    bool requestingService() const { return requesting_; }
    // Device clear: input, output queue, status and a pending request go.
    void deviceClear();

protected:
    // One complete message, as received (line ends included).
    virtual void execute(std::string_view message) = 0;
    // The status byte without RQS.
    virtual std::uint8_t statusByte() const = 0;
    // True while the device wants service.
    virtual bool serviceCondition() const = 0;
    // The device's own part of a serial poll and of a device clear.
    virtual void afterSerialPoll() {}
    virtual void clearStatus() {}
    // The first byte other than blanks of a new message came while an answer
    // (or the rest of one being read) waits in the output queue. A device
    // that keeps its answers does nothing, as here.
    virtual void newMessageWhileAnswerWaits() {}
    // A device that takes line feeds as data ends its messages only at EOI.
    virtual bool lineFeedEndsMessage() const { return true; }
    // Longer messages are dropped whole, then messageTooLong() is called.
    virtual std::size_t maxMessageLength() const { return 64 * 1024; }
    virtual void messageTooLong() {}
    // An answer did not fit in the output queue.
    virtual void outputOverflow() {}
    // Running a message ran out of memory; the device drops what it was
    // building.
    virtual void outOfMemory() {}

    // Moves `answer` to the end of the output queue and leaves it empty,
    // keeping the buffers' memory for the next answer. Only the first
    // outputRoom() bytes of it are kept.
    void putAnswer(std::string& answer);
    // Bytes the output queue can still take.
    std::size_t outputRoom() const;
    void clearOutput();
    // Raises or takes back the service request after a status change.
    void updateServiceRequest();

private:
    void receiveBytes(std::string_view bytes, bool end);
    // Notes the start of a message among its first bytes.
    void begin(std::string_view bytes);
    void complete(std::string_view tail);
    void buffer(std::string_view bytes);

    std::string input_;
    bool inputTooLong_ = false;
    // More than blanks of the message being received have come.
    bool begun_ = false;

    // One answer of the output queue: its bytes end at `end` in output_, or,
    // when it is generated, it has `size` bytes made on demand and none in
    // output_.
    struct Answer {
        std::size_t end;
        std::uint64_t size = 0;
        Generator generate;
    };
    std::size_t talkGenerated(Answer& answer, char* dest, std::size_t capacity, bool& end);
    void finishHead(bool& end);

    // The answers in the output queue, the bytes of stored ones back to back
    // in output_; head_ is the answer being read, readPos_ the next byte of
    // output_ and generatedPos_ the next byte of a generated head, so a large
    // answer is read in chunks without moving the rest.
    std::string output_;
    std::vector<Answer> answers_;
    std::size_t head_ = 0;
    std::size_t readPos_ = 0;
    std::uint64_t generatedPos_ = 0;
    // The sizes of the generated answers from the head on, so the queue's
    // size is known without a walk over thousands of small answers.
    std::uint64_t generatedLeft_ = 0;

    bool condition_ = false;
    bool requesting_ = false;
};

// The instruments of the default bench and a plain one for crowded buses.
// An IEEE 488.2 digital multimeter.
std::unique_ptr<Instrument> makeMultimeter();
// An older function generator that knows only its own commands and reports a
// rejected message in its status byte.
std::unique_ptr<Instrument> makeLegacyInstrument();
// An IEEE 488.2 oscilloscope.
std::unique_ptr<Instrument> makeOscilloscope();
// An IEEE 488.2 device that knows only the common commands.
std::unique_ptr<Instrument> makeGenericListener();

} // namespace bus::sim
