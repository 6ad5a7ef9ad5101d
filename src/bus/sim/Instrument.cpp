#include "bus/sim/Instrument.h"

#include "bus/sim/Syntax.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace bus::sim {

namespace {
// Output buffers grown beyond this by one large answer are given back once
// it has been read, so memory does not stay at the size of the largest answer.
constexpr std::size_t kKeptOutputCapacity = 1 << 20;
} // namespace

void Instrument::receive(std::string_view bytes, bool end) {
    try {
        receiveBytes(bytes, end);
    } catch (const std::exception&) {
        input_.clear();
        input_.shrink_to_fit();
        inputTooLong_ = false;
        begun_ = false;
        outOfMemory();
        updateServiceRequest();
    }
}

void Instrument::receiveBytes(std::string_view bytes, bool end) {
    if (lineFeedEndsMessage()) {
        while (!bytes.empty()) {
            const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
            if (lf == nullptr) break;
            const auto cut = static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data());
            begin(bytes.substr(0, cut + 1));
            complete(bytes.substr(0, cut + 1));
            bytes.remove_prefix(cut + 1);
        }
    }
    begin(bytes);
    if (end) {
        if (!bytes.empty() || !input_.empty() || inputTooLong_) complete(bytes);
    } else {
        buffer(bytes);
    }
}

void Instrument::begin(std::string_view bytes) {
    // Blanks alone (a stray line end after a query) begin no message.
    if (begun_ || platform::trimSpaces(bytes, platform::kBlanksAndLineEnds).empty()) return;
    begun_ = true;
    if (hasOutput()) {
        newMessageWhileAnswerWaits();
        updateServiceRequest();
    }
}

void Instrument::complete(std::string_view tail) {
    if (input_.empty() && !inputTooLong_) {
        // The whole message came in one piece: run it from the caller's bytes.
        if (tail.size() > maxMessageLength()) {
            messageTooLong();
        } else {
            execute(tail);
        }
    } else {
        buffer(tail);
        if (inputTooLong_) {
            inputTooLong_ = false;
            messageTooLong();
        } else {
            execute(input_);
        }
        input_.clear();
    }
    begun_ = false;
    updateServiceRequest();
}

void Instrument::buffer(std::string_view bytes) {
    if (inputTooLong_) return;
    if (input_.size() + bytes.size() > maxMessageLength()) {
        inputTooLong_ = true;
        input_.clear();
        input_.shrink_to_fit();
        return;
    }
    input_.append(bytes);
}

std::uint64_t Instrument::outputSize() const {
    return output_.size() - readPos_ + generatedLeft_ - generatedPos_;
}

std::size_t Instrument::talk(char* dest, std::size_t capacity, bool& end) {
    end = false;
    if (!hasOutput()) return 0;
    Answer& head = answers_[head_];
    if (head.generate) return talkGenerated(head, dest, capacity, end);
    const std::size_t left = head.end - readPos_;
    const std::size_t n = std::min(capacity, left);
    std::memcpy(dest, output_.data() + readPos_, n);
    readPos_ += n;
    if (n == left) finishHead(end);
    return n;
}

std::size_t Instrument::talkGenerated(Answer& answer, char* dest, std::size_t capacity, bool& end) {
    const std::uint64_t left = answer.size - generatedPos_;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, left));
    if (n > 0) answer.generate(generatedPos_, dest, n);
    generatedPos_ += n;
    if (n == left) {
        generatedLeft_ -= answer.size;
        generatedPos_ = 0;
        finishHead(end);
    }
    return n;
}

void Instrument::finishHead(bool& end) {
    end = true;
    if (++head_ == answers_.size()) clearOutput();
    updateServiceRequest();
}

void Instrument::queueOutput(std::string bytes) {
    if (bytes.empty()) return;
    if (!hasOutput()) {
        clearOutput();
        output_ = std::move(bytes);
    } else {
        output_.append(bytes);
    }
    answers_.push_back({output_.size(), 0, {}});
    updateServiceRequest();
}

void Instrument::queueGenerated(std::uint64_t size, Generator generate) {
    if (size == 0 || !generate) return;
    if (!hasOutput()) clearOutput();
    answers_.push_back({output_.size(), size, std::move(generate)});
    generatedLeft_ += size;
    updateServiceRequest();
}

std::size_t Instrument::outputRoom() const {
    const std::uint64_t used = outputSize();
    return used >= kMaxOutput ? 0 : static_cast<std::size_t>(kMaxOutput - used);
}

void Instrument::putAnswer(std::string& answer) {
    if (answer.empty()) return;
    const bool overflow = answer.size() > outputRoom();
    if (overflow) answer.resize(outputRoom());
    if (!answer.empty()) {
        if (!hasOutput()) {
            clearOutput();
            output_.swap(answer);
        } else {
            output_.append(answer);
        }
        answer.clear();
        answers_.push_back({output_.size(), 0, {}});
    }
    if (overflow) outputOverflow();
}

void Instrument::clearOutput() {
    if (output_.capacity() > kKeptOutputCapacity) {
        std::string().swap(output_);
    } else {
        output_.clear();
    }
    answers_.clear();
    head_ = 0;
    readPos_ = 0;
    generatedPos_ = 0;
    generatedLeft_ = 0;
}

std::uint8_t Instrument::serialPoll() {
    std::uint8_t status = statusByte();
    if (requesting_) status |= 0x40;
    requesting_ = false;
    afterSerialPoll();
    updateServiceRequest();
    return status;
}

void Instrument::deviceClear() {
    input_.clear();
    inputTooLong_ = false;
    begun_ = false;
    clearOutput();
    clearStatus();
    requesting_ = false;
    condition_ = serviceCondition();
}

void Instrument::updateServiceRequest() {
    const bool condition = serviceCondition();
    if (condition && !condition_) requesting_ = true;
    if (!condition) requesting_ = false;
    condition_ = condition;
}

} // namespace bus::sim
