#include "host_xmodem.h"

#include <array>

namespace tidewell::devsim::testing {

namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x8000) ? (value << 1) ^ 0x1021 : value << 1;
        table[i] = static_cast<std::uint16_t>(value);
    }
    return table;
}

constexpr auto kTable = makeTable();

std::uint8_t front(const std::string& output) {
    return static_cast<std::uint8_t>(output.front());
}

}  // namespace

std::uint16_t referenceCrc16(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (const auto byte : data) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

std::vector<std::uint8_t> makePacket(std::uint8_t number, std::span<const std::uint8_t> payload,
                                     bool crc) {
    std::vector<std::uint8_t> packet;
    packet.push_back(payload.size() == 128 ? kSoh : kStx);
    packet.push_back(number);
    packet.push_back(static_cast<std::uint8_t>(0xFF - number));
    packet.insert(packet.end(), payload.begin(), payload.end());
    if (crc) {
        const auto value = referenceCrc16(payload);
        packet.push_back(static_cast<std::uint8_t>(value >> 8));
        packet.push_back(static_cast<std::uint8_t>(value));
    } else {
        unsigned sum = 0;
        for (const auto byte : payload) sum += byte;
        packet.push_back(static_cast<std::uint8_t>(sum));
    }
    return packet;
}

std::vector<std::uint8_t> padded(const std::vector<std::uint8_t>& file, std::size_t block,
                                 std::uint8_t pad) {
    std::vector<std::uint8_t> out = file;
    while (out.size() % block != 0) out.push_back(pad);
    return out;
}

HostSendReport hostSend(CoreHarness& h, const std::vector<std::uint8_t>& file,
                        const HostSendOptions& options) {
    HostSendReport report;
    auto& out = h.output();
    const std::string startByte(1, static_cast<char>(kNak));
    const bool started = h.runUntil(
        [&] {
            if (options.waitForChecksumStart) return out.find(startByte) != std::string::npos;
            return out.find_first_of(std::string("C") + startByte) != std::string::npos;
        },
        options.startLimit);
    if (!started) {
        report.failure = "no start request";
        return report;
    }
    const auto at = options.waitForChecksumStart ? out.find(startByte)
                                                 : out.find_first_of(std::string("C") + startByte);
    report.started = true;
    report.crc = out[at] == 'C';
    out.erase(0, at + 1);

    const std::size_t block = options.shortPackets ? 128 : 1024;
    const auto data = padded(file, block, options.padding);
    for (std::size_t offset = 0; offset < data.size(); offset += block) {
        const auto number = static_cast<std::uint8_t>(offset / block + 1);
        const auto packet = makePacket(number, std::span(data).subspan(offset, block), report.crc);
        for (int sends = 0;; ++sends) {
            if (sends >= options.maxSends) {
                report.failure = "too many sends";
                return report;
            }
            h.send(packet);
            ++report.sends;
            if (!h.runUntil([&] { return !out.empty(); }, options.answerWait)) {
                ++report.timeouts;
                continue;
            }
            const auto answer = front(out);
            out.erase(0, 1);
            if (answer == kAck) break;
            if (answer == kCan) {
                h.runUntil([&] { return !out.empty(); }, Millis(1000));
                report.cancelled = !out.empty() && front(out) == kCan;
                if (report.cancelled) out.erase(0, 1);
                report.failure = "cancelled";
                return report;
            }
            if (answer == kNak) ++report.naks;
        }
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        h.send(std::vector<std::uint8_t>{kEot});
        if (!h.runUntil([&] { return !out.empty(); }, options.answerWait)) continue;
        const auto answer = front(out);
        out.erase(0, 1);
        if (answer == kAck) {
            report.delivered = true;
            return report;
        }
    }
    report.failure = "EOT not acknowledged";
    return report;
}

HostReceiveReport hostReceive(CoreHarness& h, const HostReceiveOptions& options) {
    HostReceiveReport report;
    auto& out = h.output();
    bool answered = false;
    for (int request = 0; request < options.maxRequests && !answered; ++request) {
        h.send(std::vector<std::uint8_t>{options.crc ? std::uint8_t{'C'} : kNak});
        answered = h.runUntil([&] { return !out.empty(); }, Millis(3000));
    }
    if (!answered) {
        report.failure = "no answer to the start requests";
        return report;
    }
    std::uint8_t expected = 1;
    for (;;) {
        if (!h.runUntil([&] { return !out.empty(); }, options.answerWait)) {
            report.failure = "device silent";
            return report;
        }
        const auto header = front(out);
        if (header == kEot) {
            out.erase(0, 1);
            h.send(std::vector<std::uint8_t>{kAck});
            report.completed = true;
            return report;
        }
        if (header == kCan) {
            h.runUntil([&] { return out.size() >= 2; }, Millis(1000));
            report.cancelled = out.size() >= 2 && static_cast<std::uint8_t>(out[1]) == kCan;
            out.erase(0, std::min<std::size_t>(out.size(), 2));
            report.failure = "cancelled";
            return report;
        }
        if (header != kStx && header != kSoh) {
            out.erase(0, 1);
            continue;
        }
        const std::size_t size = header == kSoh ? 128 : 1024;
        const std::size_t length = 3 + size + (options.crc ? 2 : 1);
        if (!h.runUntil([&] { return out.size() >= length; }, Millis(2000))) {
            report.failure = "packet incomplete";
            return report;
        }
        const std::vector<std::uint8_t> packet(out.begin(),
                                               out.begin() + static_cast<long>(length));
        out.erase(0, length);
        const auto number = packet[1];
        const auto payload = std::span(packet).subspan(3, size);
        const bool good = static_cast<std::uint8_t>(number + packet[2]) == 0xFF &&
                          makePacket(number, payload, options.crc) == packet;
        if (!good) {
            ++report.badPackets;
            h.send(std::vector<std::uint8_t>{kNak});
            continue;
        }
        if (number == expected) {
            report.data.insert(report.data.end(), payload.begin(), payload.end());
            report.numbers.push_back(number);
            report.headers.push_back(header);
            ++expected;
        } else if (number == static_cast<std::uint8_t>(expected - 1)) {
            ++report.repeats;
        } else {
            report.failure = "packet out of sequence";
            return report;
        }
        h.send(std::vector<std::uint8_t>{kAck});
    }
}

}  // namespace tidewell::devsim::testing
