#include "AdapterSimulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace adaptersim {

namespace {

constexpr char kEsc = '\x1B';

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

int number(const std::string& text, int fallback) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' ? static_cast<int>(value) : fallback;
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

AdapterSimulator::AdapterSimulator(Options options, std::unique_ptr<bus::Driver> bench)
    : options_(options), bench_(std::move(bench)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    if (options_.link == Link::Pty) {
        char name[256] = {};
        if (::openpty(&ptyMaster_, &ptySlave_, name, nullptr, nullptr) != 0) {
            error_ = std::string("openpty: ") + std::strerror(errno);
            return;
        }
        // A serial line passes bytes as they are: no echo, no line editing.
        termios raw{};
        ::tcgetattr(ptySlave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(ptySlave_, TCSANOW, &raw);
        setNonBlocking(ptyMaster_);
        address_ = name;
    } else {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(options_.tcpPort));
        socklen_t length = sizeof a;
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listenFd_, 4) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            error_ = std::string("TCP port: ") + std::strerror(errno);
            return;
        }
        address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    }
    thread_ = std::thread([this] { run(); });
}

AdapterSimulator::~AdapterSimulator() {
    stopping_ = true;
    if (wake_[1] >= 0) {
        const char c = 'x';
        (void)::write(wake_[1], &c, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (const int fd : {listenFd_, ptyMaster_, ptySlave_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

std::string AdapterSimulator::driverChoice() const {
    return (options_.protocol == Protocol::Prologix ? "prologix:" : "ar488:") + address_;
}

void AdapterSimulator::run() {
    bench_->RegisterGpibGlobalsForThread(&sta_, &err_, &cnt_, &cntl_);
    if (ptyMaster_ >= 0) {
        serve(ptyMaster_);
    } else {
        while (!stopping_) {
            pollfd p[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
            if (stopping_) break;
            if ((p[0].revents & POLLIN) == 0) continue;
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            setNonBlocking(client);
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            dropRequested_ = false;
            line_.clear();
            escaped_ = false;
            plusPrefix_ = true;
            serve(client);
            ::close(client);
        }
    }
    bench_->UnregisterGpibGlobalsForThread();
}

// Serves one connection until it closes, is dropped, or the simulator stops.
bool AdapterSimulator::serve(int fd) {
    char buffer[65536];
    while (!stopping_ && !dropRequested_) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, 50) < 0 && errno != EINTR) return false;
        if (dropRequested_) break;
        if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) {
            // A pseudo-terminal whose other end closed says so until it is
            // opened again.
            if (fd == ptyMaster_) {
                pause(20);
                continue;
            }
            return false;
        }
        if (!silent_) take(fd, buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// Splits the input into lines at unescaped CR and LF: a line that starts with
// an unescaped "++" is a command, any other is data for the device.
void AdapterSimulator::take(int fd, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (!escaped_ && c == kEsc) {
            escaped_ = true;
            continue;
        }
        if (!escaped_ && (c == '\r' || c == '\n')) {
            if (!line_.empty()) {
                if (line_.size() >= 2 && plusPrefix_)
                    command(fd, line_.substr(2));
                else
                    data(line_);
            }
            line_.clear();
            plusPrefix_ = true;
            continue;
        }
        if (line_.size() < 2) plusPrefix_ = plusPrefix_ && c == '+' && !escaped_;
        escaped_ = false;
        line_ += c;
    }
}

std::int32_t AdapterSimulator::device(int pad, int sad, bool eot) {
    const auto key = std::make_tuple(pad, sad, eot);
    const auto found = descriptors_.find(key);
    if (found != descriptors_.end()) return found->second;
    const std::int32_t ud = bench_->ibdev(0, pad, sad, bus::T1s, eot ? 1 : 0, 0);
    descriptors_[key] = ud;
    return ud;
}

void AdapterSimulator::data(const std::string& bytes) {
    static constexpr const char* kEos[] = {"\r\n", "\r", "\n", ""};
    const std::string message = bytes + kEos[eos_ & 3];
    const std::int32_t ud = device(pad_, sad_, eoi_ != 0);
    if (ud >= 0) bench_->ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
}

// A socket the console closed must not raise SIGPIPE.
long AdapterSimulator::writeOut(int fd, const char* bytes, std::size_t size) {
    return fd == ptyMaster_ ? ::write(fd, bytes, size) : ::send(fd, bytes, size, MSG_NOSIGNAL);
}

void AdapterSimulator::sendOut(int fd, const std::string& bytes, bool fromDevice) {
    std::size_t sent = 0;
    while (sent < bytes.size() && !stopping_ && !dropRequested_) {
        const int pace = fromDevice ? devicePaceMs_ : adapterPaceMs_;
        const long n = writeOut(fd, bytes.data() + sent, pace > 0 ? 1 : bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            if (fromDevice) deviceBytes_ += n;
            if (pace > 0) pause(pace);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
            ::poll(p, 2, 50);
        } else {
            return;
        }
    }
}

void AdapterSimulator::pause(int ms) {
    pollfd p{wake_[0], POLLIN, 0};
    ::poll(&p, 1, ms);
}

// A setting command: with an argument it sets (and, on a Prologix adapter
// told to, saves), without one it answers the value.
void AdapterSimulator::setting(int& value, const std::string& argument, int fd) {
    if (argument.empty()) {
        sendOut(fd, std::to_string(value) + "\r\n");
        return;
    }
    const int next = number(argument, value);
    if (next != value && saveConfig_ != 0 && options_.protocol == Protocol::Prologix) ++saves_;
    value = next;
}

void AdapterSimulator::command(int fd, const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    if (words.empty()) return;
    const std::string& name = words[0];
    const std::string argument = words.size() > 1 ? words[1] : "";
    const bool ar488 = options_.protocol == Protocol::Ar488;
    // The settings that only hold a number.
    static constexpr std::pair<std::string_view, int AdapterSimulator::*> kSettings[] = {
        {"mode", &AdapterSimulator::mode_},
        {"auto", &AdapterSimulator::auto_},
        {"eoi", &AdapterSimulator::eoi_},
        {"eos", &AdapterSimulator::eos_},
        {"eot_enable", &AdapterSimulator::eotEnable_},
        {"eot_char", &AdapterSimulator::eotChar_},
        {"read_tmo_ms", &AdapterSimulator::readTimeoutMs_}};
    for (const auto& [key, member] : kSettings)
        if (name == key) return setting(this->*member, argument, fd);
    if (name == "ver") {
        sendOut(fd, ar488 ? "AR488 GPIB controller, ver. 0.51.29, 18/03/2024\r\n"
                          : "Prologix GPIB-USB Controller version 6.107\r\n");
    } else if (name == "addr") {
        if (argument.empty()) return sendOut(fd, std::to_string(pad_) + "\r\n");
        pad_ = number(argument, pad_);
        sad_ = words.size() > 2 ? number(words[2], 0) : 0;
    } else if (name == "savecfg") {
        if (ar488)
            ++saves_; // AR488 saves its settings when told to
        else if (argument.empty())
            sendOut(fd, std::to_string(saveConfig_) + "\r\n");
        else
            saveConfig_ = number(argument, saveConfig_);
    } else if (name == "read") {
        // Until the device's END; the adapter's time-out ends a read that
        // brings nothing.
        const std::int32_t ud = device(pad_, sad_, true);
        std::string answer;
        std::vector<char> chunk(65536);
        bool end = false;
        while (!end) {
            bench_->ibrd(ud, chunk.data(), static_cast<std::int32_t>(chunk.size()));
            if ((sta_ & bus::ERR) != 0) break;
            answer.append(chunk.data(), static_cast<std::size_t>(cntl_));
            end = (sta_ & bus::END) != 0;
        }
        if (end && eotEnable_ != 0) answer += static_cast<char>(eotChar_);
        if (!end && options_.realTimeouts) pause(readTimeoutMs_);
        sendOut(fd, answer, true);
    } else if (name == "spoll") {
        const int pad = argument.empty() ? pad_ : number(argument, pad_);
        const int sad = words.size() > 2 ? number(words[2], 0) : (argument.empty() ? sad_ : 0);
        char status = 0;
        bench_->ibrsp(device(pad, sad, true), &status);
        if ((sta_ & bus::ERR) != 0) {
            if (options_.realTimeouts) pause(readTimeoutMs_);
            return;
        }
        sendOut(fd, std::to_string(static_cast<unsigned char>(status)) + "\r\n");
    } else if (name == "srq") {
        sendOut(fd,
                (bench_->ibwait(0, bus::SRQI | bus::TIMO) & bus::SRQI) != 0 ? "1\r\n" : "0\r\n");
    } else if (name == "clr") {
        bench_->DevClear(0, static_cast<bus::Addr4882>(pad_ | (sad_ << 8)));
    } else if (name == "ifc") {
        bench_->SendIFC(0);
    } else if (ar488 && name == "ren") {
        bench_->ibsre(0, number(argument, 1));
    } else if (ar488 && name == "dcl") {
        bench_->DevClear(0, bus::NOADDR);
    } else if (ar488 && name == "findlstn") {
        bus::Addr4882 probe[31], found[31] = {};
        for (int a = 1; a <= 30; ++a)
            probe[a - 1] = static_cast<bus::Addr4882>(a);
        probe[30] = bus::NOADDR;
        bench_->FindLstn(0, probe, found, 30);
        std::string list;
        for (int i = 0; (sta_ & bus::ERR) == 0 && i < cntl_; ++i)
            list += (list.empty() ? "" : " ") + std::to_string(found[i]);
        sendOut(fd, list + "\r\n");
    } else if (ar488) {
        sendOut(fd, "Unrecognized command\r\n");
    }
    // Prologix adapters ignore commands they do not know.
}

} // namespace adaptersim
