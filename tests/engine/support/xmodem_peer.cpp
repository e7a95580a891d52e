#include "xmodem_peer.h"

namespace tidewell::testing {

std::uint16_t bitwiseCrc16(const std::string& data) {
    unsigned crc = 0;
    for (unsigned char c : data) {
        crc ^= static_cast<unsigned>(c) << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) : (crc << 1);
            crc &= 0xFFFFu;
        }
    }
    return static_cast<std::uint16_t>(crc);
}

std::string makePacket(std::uint8_t number, const std::string& payload, bool crc) {
    std::string packet;
    packet.push_back(payload.size() == 128 ? kSoh : kStx);
    packet.push_back(static_cast<char>(number));
    packet.push_back(static_cast<char>(0xFF - number));
    packet += payload;
    if (crc) {
        const std::uint16_t value = bitwiseCrc16(payload);
        packet.push_back(static_cast<char>(value >> 8));
        packet.push_back(static_cast<char>(value & 0xFF));
    } else {
        unsigned sum = 0;
        for (unsigned char c : payload) {
            sum += c;
        }
        packet.push_back(static_cast<char>(sum & 0xFF));
    }
    return packet;
}

std::string patternBytes(std::size_t size, unsigned seed) {
    std::string out(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (auto& c : out) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return out;
}

std::vector<std::string> fileFrames(const std::string& content, bool crc, char pad) {
    std::vector<std::string> frames;
    std::uint8_t number = 1;
    for (std::size_t at = 0; at < content.size(); at += 1024) {
        std::string payload = content.substr(at, 1024);
        payload.resize(1024, pad);
        frames.push_back(makePacket(number++, payload, crc));
    }
    frames.emplace_back(1, kEot);
    return frames;
}

ReceivingDevice::ReceivingDevice(ScriptedLine& line, bool crcMode) : line_(line), crc_(crcMode) {
    answerPacket = [](const ReceivedPacket&, int) { return std::string(1, kAck); };
    answerEot = [](int) { return std::string(1, kAck); };
    line.onWrite([this](ScriptedLine& l, const std::string& chunk) { take(l, chunk); });
}

void ReceivingDevice::take(ScriptedLine& line, const std::string& chunk) {
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        pending_ += chunk;
        while (!pending_.empty()) {
            const char head = pending_[0];
            if (head == kStx || head == kSoh) {
                const std::size_t size = head == kStx ? 1024 : 128;
                const std::size_t length = 3 + size + (crc_ ? 2 : 1);
                if (pending_.size() < length) {
                    break;
                }
                ReceivedPacket packet;
                packet.header = static_cast<std::uint8_t>(head);
                packet.number = static_cast<std::uint8_t>(pending_[1]);
                packet.complement = static_cast<std::uint8_t>(pending_[2]);
                packet.payload = pending_.substr(3, size);
                if (crc_) {
                    packet.checkOk = bitwiseCrc16(pending_.substr(3, size + 2)) == 0;
                } else {
                    unsigned sum = 0;
                    for (unsigned char c : packet.payload) {
                        sum += c;
                    }
                    packet.checkOk = static_cast<char>(sum & 0xFF) == pending_[3 + size];
                }
                pending_.erase(0, length);
                const int index = static_cast<int>(packets_.size());
                packets_.push_back(packet);
                answer += answerPacket(packet, index);
            } else if (head == kEot) {
                pending_.erase(0, 1);
                answer += answerEot(eots_++);
            } else if (head == kCan) {
                pending_.erase(0, 1);
                ++cans_;
            } else {
                stray_.push_back(head);
                pending_.erase(0, 1);
            }
        }
    }
    if (!answer.empty()) {
        line.feed(answer);
    }
}

std::vector<ReceivedPacket> ReceivingDevice::packets() const {
    std::lock_guard lock(mutex_);
    return packets_;
}

int ReceivingDevice::eots() const {
    std::lock_guard lock(mutex_);
    return eots_;
}

int ReceivingDevice::cans() const {
    std::lock_guard lock(mutex_);
    return cans_;
}

std::string ReceivingDevice::stray() const {
    std::lock_guard lock(mutex_);
    return stray_;
}

std::string ReceivingDevice::deliveredPayload() const {
    std::lock_guard lock(mutex_);
    std::string out;
    int last = -1;
    for (const auto& p : packets_) {
        if (p.number != last) {
            out += p.payload;
            last = p.number;
        }
    }
    return out;
}

SendingDevice::SendingDevice(ScriptedLine& line, std::vector<std::string> frames)
    : line_(line), frames_(std::move(frames)) {
    frameFor = [this](std::size_t index, int) { return frames_[index]; };
    line.onWrite([this](ScriptedLine& l, const std::string& chunk) { take(l, chunk); });
}

void SendingDevice::offer(ScriptedLine& line) {
    if (index_ < frames_.size()) {
        line.feed(frameFor(index_, attempt_++));
    }
}

void SendingDevice::take(ScriptedLine& line, const std::string& chunk) {
    std::lock_guard lock(mutex_);
    for (char c : chunk) {
        if (c == 'C' || c == kNak) {
            (c == 'C' ? crcRequests_ : nakRequests_) += started_ ? 0 : 1;
            if (c == kNak && started_) {
                ++naks_;
                offer(line);
                continue;
            }
            const bool accepted = c == 'C' ? startOnCrc : startOnNak;
            if (!started_ && accepted && ignoreRequests-- <= 0) {
                started_ = true;
                offer(line);
            }
        } else if (c == kAck) {
            ++acks_;
            if (started_ && index_ < frames_.size()) {
                ++index_;
                attempt_ = 0;
                if (index_ == frames_.size()) {
                    line.feed(afterEnd);
                } else {
                    offer(line);
                }
            }
        } else if (c == kCan) {
            ++cans_;
        }
    }
}

int SendingDevice::crcRequests() const {
    std::lock_guard lock(mutex_);
    return crcRequests_;
}
int SendingDevice::nakRequests() const {
    std::lock_guard lock(mutex_);
    return nakRequests_;
}
int SendingDevice::acks() const {
    std::lock_guard lock(mutex_);
    return acks_;
}
int SendingDevice::naks() const {
    std::lock_guard lock(mutex_);
    return naks_;
}
int SendingDevice::cans() const {
    std::lock_guard lock(mutex_);
    return cans_;
}

}  // namespace tidewell::testing
