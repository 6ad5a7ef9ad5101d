#include "bus/sim/Instrument.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace bus::sim {

namespace {
// Output buffers grown beyond this by one large answer are given back once
// it has been read, so memory does not stay at the size of the largest answer.
constexpr std::size_t kKeptOutputCapacity = 1 << 20;
} // namespace

void Instrument::receive(std::string_view bytes, bool end) {
    if (lineFeedEndsMessage()) {
        while (!bytes.empty()) {
            const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
            if (lf == nullptr) break;
            const auto cut = static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data());
            complete(bytes.substr(0, cut + 1));
            bytes.remove_prefix(cut + 1);
        }
    }
    if (end) {
        if (!bytes.empty() || !input_.empty() || inputTooLong_) complete(bytes);
    } else {
        buffer(bytes);
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

std::size_t Instrument::talk(char* dest, std::size_t capacity, bool& end) {
    end = false;
    if (!hasOutput()) return 0;
    const std::size_t left = ends_[head_] - readPos_;
    const std::size_t n = std::min(capacity, left);
    std::memcpy(dest, output_.data() + readPos_, n);
    readPos_ += n;
    if (n == left) {
        end = true;
        if (++head_ == ends_.size()) clearOutput();
        updateServiceRequest();
    }
    return n;
}

void Instrument::queueOutput(std::string bytes) {
    if (bytes.empty()) return;
    if (!hasOutput()) {
        clearOutput();
        output_ = std::move(bytes);
    } else {
        output_.append(bytes);
    }
    ends_.push_back(output_.size());
    updateServiceRequest();
}

void Instrument::putAnswer(std::string& answer) {
    if (answer.empty()) return;
    if (!hasOutput()) {
        clearOutput();
        output_.swap(answer);
    } else {
        output_.append(answer);
    }
    answer.clear();
    ends_.push_back(output_.size());
}

void Instrument::clearOutput() {
    if (output_.capacity() > kKeptOutputCapacity) {
        std::string().swap(output_);
    } else {
        output_.clear();
    }
    ends_.clear();
    head_ = 0;
    readPos_ = 0;
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
