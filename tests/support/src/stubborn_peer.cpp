#include "tidewell/testsupport/stubborn_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tidewell::testsupport {

namespace {

constexpr std::size_t kPacketLength = 1029;  // STX, number, complement, 1024 bytes, CRC-16
constexpr char kNak = 0x15;
constexpr char kStartRequest = 'C';
// More than the sender's 60 attempts to read a start request.
constexpr std::size_t kNoiseBytes = 80;
// Longer than the sender's flush after its CAN, shorter than its wait for the final line.
constexpr std::chrono::milliseconds kQuietBeforeEnd{1000};
constexpr int kPollMillis = 10;

}  // namespace

StubbornPeer::StubbornPeer(Mode mode) : mode_(mode) {
    std::array<char, 256> name{};
    if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    slavePath_ = name.data();
    thread_ = std::thread([this] { run(); });
}

StubbornPeer::~StubbornPeer() {
    stop_ = true;
    thread_.join();
    ::close(master_);
    ::close(slave_);
}

void StubbornPeer::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(master_, bytes.data(), bytes.size());
        if (done <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
}

void StubbornPeer::run() {
    enum class State { Prompting, LoggingIn, Commands, Transfer, Finishing, Done };
    State state = State::Prompting;
    std::string line;
    std::size_t packetBytes = 0;
    auto lastByte = std::chrono::steady_clock::now();

    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMillis);
        const auto now = std::chrono::steady_clock::now();
        if (ready <= 0 || (p.revents & POLLIN) == 0) {
            const bool gaveUp =
                state == State::Finishing || (state == State::Transfer && refused_ > 0);
            if (gaveUp && now - lastByte >= kQuietBeforeEnd) {
                send(":OK:\r\n");
                confirmed_ = true;
                state = State::Done;
            }
            continue;
        }
        std::array<char, 2048> buffer{};
        const ssize_t got = ::read(master_, buffer.data(), buffer.size());
        if (got <= 0) {
            continue;
        }
        lastByte = now;
        for (ssize_t i = 0; i < got; ++i) {
            const char byte = buffer[static_cast<std::size_t>(i)];
            switch (state) {
                case State::Prompting:
                    if (byte == ' ') {
                        send(":LOGIN:\r\n");
                        state = State::LoggingIn;
                    }
                    break;
                case State::LoggingIn:
                case State::Commands:
                    if (byte == '\r') {
                        if (state == State::LoggingIn && line.find("pivot") != std::string::npos) {
                            send("Welcome\r\n:OK:\r\n");
                            state = State::Commands;
                        } else if (state == State::Commands && line.starts_with("download ")) {
                            send(":OK:\r\n");
                            state = State::Transfer;
                            if (mode_ == Mode::RefuseEveryPacket) {
                                send(std::string(1, kStartRequest));
                            } else {
                                send(std::string(kNoiseBytes, 'x'));
                                state = State::Finishing;
                            }
                        }
                        line.clear();
                    } else if (byte != '\n' && !(byte == ' ' && line.empty())) {
                        line.push_back(byte);
                    }
                    break;
                case State::Transfer:
                    if (++packetBytes == kPacketLength) {
                        packetBytes = 0;
                        ++refused_;
                        send(std::string(1, kNak));
                        state = State::Finishing;  // until the next packet comes
                    }
                    break;
                case State::Finishing:
                    if (mode_ == Mode::RefuseEveryPacket) {
                        state = State::Transfer;
                        packetBytes = 1;
                    }
                    break;
                case State::Done:
                    break;
            }
        }
    }
}

}  // namespace tidewell::testsupport
