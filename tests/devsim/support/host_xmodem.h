// A scripted XMODEM host for the device core: the computer's side of a
// transfer, written for the tests with its own CRC code.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core_harness.h"

namespace tidewell::devsim::testing {

inline constexpr std::uint8_t kSoh = 0x01;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kCan = 0x18;

// Table-driven CRC-16/XMODEM, independent of the device's bitwise one.
std::uint16_t referenceCrc16(std::span<const std::uint8_t> data);

// Header, number, complement, payload (128 or 1024 bytes), CRC or checksum.
std::vector<std::uint8_t> makePacket(std::uint8_t number, std::span<const std::uint8_t> payload,
                                     bool crc);
// file followed by pad up to a multiple of block.
std::vector<std::uint8_t> padded(const std::vector<std::uint8_t>& file, std::size_t block,
                                 std::uint8_t pad);

struct HostSendOptions {
    bool shortPackets = false;          // SOH packets of 128 bytes
    std::uint8_t padding = 0xEE;        // the host's own pad byte, to see it stored as received
    bool waitForChecksumStart = false;  // ignore 'C', start on NAK
    Millis answerWait{1500};
    int maxSends = 20;  // per packet
    Millis startLimit{70000};
};

struct HostSendReport {
    bool started = false;
    bool crc = true;
    bool delivered = false;  // EOT acknowledged
    bool cancelled = false;  // the device sent CAN CAN
    int sends = 0;           // packet sends, first sends and repeats
    int naks = 0;
    int timeouts = 0;
    std::string failure;
};

// The host sends file to the device, which must be in a "download" transfer
// (its ":OK:" already taken). Only the answers are taken from the output.
HostSendReport hostSend(CoreHarness& harness, const std::vector<std::uint8_t>& file,
                        const HostSendOptions& options = {});

struct HostReceiveOptions {
    bool crc = true;
    Millis answerWait{15000};
    int maxRequests = 10;
};

struct HostReceiveReport {
    bool completed = false;  // EOT received and acknowledged
    bool cancelled = false;  // the device sent CAN CAN
    std::vector<std::uint8_t> data;
    std::vector<int> numbers;           // numbers of the accepted packets, in order
    std::vector<std::uint8_t> headers;  // header byte of each accepted packet
    int badPackets = 0;                 // refused with NAK
    int repeats = 0;                    // repeated packets acknowledged again
    std::string failure;
};

// The host receives a file from the device, which must be in an "upload"
// transfer (its ":OK:" already taken).
HostReceiveReport hostReceive(CoreHarness& harness, const HostReceiveOptions& options = {});

}  // namespace tidewell::devsim::testing
