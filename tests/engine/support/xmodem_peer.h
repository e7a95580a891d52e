// The device's side of the block transfer, written for the tests from the packet
// format alone (own CRC, own framing), driven by the engine's writes.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "scripted_line.h"

namespace tidewell::testing {

inline constexpr char kSoh = 0x01, kStx = 0x02, kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18;

// Bit by bit, most significant first, polynomial 0x1021, initial value 0.
std::uint16_t bitwiseCrc16(const std::string& data);
// A packet: SOH for a 128-byte payload, STX for 1024; CRC-16 or 8-bit checksum.
std::string makePacket(std::uint8_t number, const std::string& payload, bool crc = true);
std::string patternBytes(std::size_t size, unsigned seed = 1);

struct ReceivedPacket {
    std::uint8_t header = 0;
    std::uint8_t number = 0;
    std::uint8_t complement = 0;
    std::string payload;
    bool checkOk = false;
};

// Plays the receiving device (the engine sends). Parses the engine's writes into
// packets, EOTs and CANs and answers through the two policies (default: ACK).
class ReceivingDevice {
  public:
    explicit ReceivingDevice(ScriptedLine& line, bool crcMode = true);
    ~ReceivingDevice() { line_.onWrite(nullptr); }

    // Answer to the sendIndex-th transmission (0-based, over all packets) of a packet.
    std::function<std::string(const ReceivedPacket&, int sendIndex)> answerPacket;
    // Answer to the n-th EOT (0-based).
    std::function<std::string(int n)> answerEot;

    std::vector<ReceivedPacket> packets() const;
    int eots() const;
    int cans() const;
    std::string stray() const;  // bytes that were neither packet, EOT nor CAN
    // The file as delivered: payloads of distinct packet numbers, in order.
    std::string deliveredPayload() const;

  private:
    void take(ScriptedLine& line, const std::string& chunk);

    ScriptedLine& line_;
    mutable std::mutex mutex_;
    bool crc_;
    std::string pending_;
    std::vector<ReceivedPacket> packets_;
    int eots_ = 0;
    int cans_ = 0;
    std::string stray_;
};

// Plays the sending device (the engine receives). Starts on 'C' (or NAK when it
// accepts checksum mode), then feeds frame after frame: the next on ACK, the same
// again on NAK.
class SendingDevice {
  public:
    SendingDevice(ScriptedLine& line, std::vector<std::string> frames);
    ~SendingDevice() { line_.onWrite(nullptr); }

    // What to feed for frame index at its attempt-th offer (default: the frame itself).
    std::function<std::string(std::size_t index, int attempt)> frameFor;
    // Start requests ignored before the transfer starts.
    int ignoreRequests = 0;
    bool startOnCrc = true;
    bool startOnNak = true;
    // Fed once, right after the ACK of the last frame (the device's final reply).
    std::string afterEnd;

    int crcRequests() const;
    int nakRequests() const;
    int acks() const;
    int naks() const;
    int cans() const;

  private:
    void take(ScriptedLine& line, const std::string& chunk);
    void offer(ScriptedLine& line);

    ScriptedLine& line_;
    mutable std::mutex mutex_;
    std::vector<std::string> frames_;
    bool started_ = false;
    std::size_t index_ = 0;
    int attempt_ = 0;
    int crcRequests_ = 0, nakRequests_ = 0, acks_ = 0, naks_ = 0, cans_ = 0;
};

// Frames of a file as the device sends it: 1024-byte packets numbered from 1 (last one
// padded with pad), then EOT.
std::vector<std::string> fileFrames(const std::string& content, bool crc = true, char pad = 0x1A);

}  // namespace tidewell::testing
