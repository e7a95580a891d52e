#include "refusing_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tidewell::cli::testing {

namespace {

constexpr unsigned char kNak = 0x15;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kCrcRequest = 'C';
constexpr std::size_t kCrcPacketLength = 3 + 1024 + 2;
constexpr int kPollMs = 20;
constexpr std::chrono::milliseconds kPromptInterval{100};
// The sender flushes its input until 500 ms of silence after its CANs; a reply
// sent sooner would be flushed away.
constexpr std::chrono::milliseconds kQuietBeforeFinal{800};

void put(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

RefusingPeer::RefusingPeer() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    slavePath_ = name;
    thread_ = std::thread([this] { run(); });
}

RefusingPeer::~RefusingPeer() {
    stop_ = true;
    thread_.join();
    ::close(master_);
    ::close(slave_);
}

void RefusingPeer::run() {
    enum class State { loggedOut, loggedIn, transfer, finishing } state = State::loggedOut;
    std::string line;
    std::size_t packetBytes = 0;
    std::chrono::steady_clock::time_point lastByte;
    std::chrono::steady_clock::time_point lastPrompt;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMs);
        const auto now = std::chrono::steady_clock::now();
        if (state == State::finishing && now - lastByte >= kQuietBeforeFinal) {
            put(master_, ":OK:\r\n");
            state = State::loggedIn;
        }
        if (ready <= 0 || (p.revents & POLLIN) == 0) continue;
        unsigned char buffer[2048];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) continue;
        lastByte = now;
        for (ssize_t i = 0; i < got; ++i) {
            const unsigned char byte = buffer[i];
            switch (state) {
                case State::transfer:
                    if (packetBytes == 0 && byte == kCan) {
                        state = State::finishing;
                        break;
                    }
                    if (++packetBytes == kCrcPacketLength) {
                        packetBytes = 0;
                        ++refused_;
                        const unsigned char nak = kNak;
                        put(master_, std::string(1, static_cast<char>(nak)));
                    }
                    break;
                case State::finishing:
                    break;
                case State::loggedOut:
                case State::loggedIn:
                    if (byte == ' ' && line.empty() && state == State::loggedOut) {
                        if (now - lastPrompt >= kPromptInterval) {
                            lastPrompt = now;
                            put(master_, ":LOGIN:\r\n");
                        }
                    } else if (byte == '\r') {
                        if (state == State::loggedOut && line == "pivot") {
                            put(master_, "Refusing peer\r\none\r\ntwo\r\n:OK:\r\n");
                            state = State::loggedIn;
                        } else if (state == State::loggedIn && line.starts_with("download ")) {
                            put(master_, ":OK:\r\n");
                            put(master_, std::string(1, static_cast<char>(kCrcRequest)));
                            packetBytes = 0;
                            state = State::transfer;
                        } else if (state == State::loggedIn && !line.empty()) {
                            put(master_, ":ERROR:\r\n");
                        }
                        line.clear();
                    } else if (byte != '\n' && byte != ' ') {
                        line.push_back(static_cast<char>(byte));
                    } else if (byte == ' ' && !line.empty()) {
                        line.push_back(' ');
                    }
                    break;
            }
        }
    }
}

}  // namespace tidewell::cli::testing
