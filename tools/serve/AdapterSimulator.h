#pragma once

#include "bus/Driver.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

namespace adaptersim {

enum class Protocol { Prologix, Ar488 };
enum class Link { Pty, Tcp };

struct Options {
    Protocol protocol = Protocol::Prologix;
    Link link = Link::Tcp;
    int tcpPort = 0; // 0: any free port on 127.0.0.1
    // Wait out the adapter's read time-out when nobody answers, as the real
    // adapters do; off, such reads and polls come back at once.
    bool realTimeouts = false;
};

// A Prologix or AR488 GPIB adapter in controller mode, with a bench behind
// it, reachable over a pseudo-terminal or loopback TCP. It answers the "++"
// command lines the adapters' manuals describe, takes ESC-escaped data, and
// serves one connection at a time on its own thread, which the destructor
// stops and joins.
class AdapterSimulator {
public:
    AdapterSimulator(Options options, std::unique_ptr<bus::Driver> bench);
    ~AdapterSimulator();
    AdapterSimulator(const AdapterSimulator&) = delete;
    AdapterSimulator& operator=(const AdapterSimulator&) = delete;

    // Why it could not start; empty when it runs.
    const std::string& error() const { return error_; }
    // The pseudo-terminal's path, or "127.0.0.1:PORT".
    const std::string& address() const { return address_; }
    // What --driver takes to reach it: "prologix:/dev/pts/4".
    std::string driverChoice() const;

    // From now on, reads nothing and answers nothing: a hung adapter.
    void setSilent(bool silent) { silent_ = silent; }
    // Closes the connection as an unplugged adapter would (TCP only).
    void dropConnection() { dropRequested_ = true; }
    // From now on, the device's answers to ++read come a byte at a time this
    // many milliseconds apart (a slow talker), and so do the adapter's own
    // replies (an adapter gone wrong); 0 sends them at once.
    void setPacing(int deviceMs, int adapterMs) {
        devicePaceMs_ = deviceMs;
        adapterPaceMs_ = adapterMs;
    }
    // Bytes of the devices' answers (with their end marks) sent so far.
    long deviceBytesSent() const { return deviceBytes_; }
    // Settings the adapter saved to its configuration memory.
    int configurationSaves() const { return saves_; }

private:
    void run();
    bool serve(int fd);
    void take(int fd, const char* data, std::size_t size);
    void command(int fd, const std::string& line);
    void data(const std::string& bytes);
    void sendOut(int fd, const std::string& bytes, bool fromDevice = false);
    long writeOut(int fd, const char* bytes, std::size_t size);
    void pause(int ms);
    std::int32_t device(int pad, int sad, bool eot);
    void setting(int& value, const std::string& argument, int fd);

    Options options_;
    std::unique_ptr<bus::Driver> bench_;
    std::string error_, address_;
    int listenFd_ = -1, ptyMaster_ = -1, ptySlave_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false}, silent_{false}, dropRequested_{false};
    std::atomic<int> saves_{0}, devicePaceMs_{0}, adapterPaceMs_{0};
    std::atomic<long> deviceBytes_{0};
    std::thread thread_;

    // The adapter's state, as its commands set it.
    int pad_ = 0, sad_ = 0, mode_ = 1, auto_ = 0, eoi_ = 1, eos_ = 0, eotEnable_ = 0, eotChar_ = 0,
        readTimeoutMs_ = 500, saveConfig_ = 1;
    std::string line_;
    bool escaped_ = false, plusPrefix_ = true;
    std::map<std::tuple<int, int, bool>, std::int32_t> descriptors_;
    std::int32_t sta_ = 0, err_ = 0, cnt_ = 0, cntl_ = 0;
};

} // namespace adaptersim
