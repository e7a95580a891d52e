// What the two block-transfer machines share: their view of the line and how
// a transfer ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "tidewell/tracefmt/trace_format.h"

namespace tidewell::devsim {

using TimePoint = std::chrono::steady_clock::time_point;
using Millis = std::chrono::milliseconds;

class TransferLink {
  public:
    virtual ~TransferLink() = default;
    virtual void send(std::span<const std::uint8_t> bytes) = 0;
    virtual void note(const std::string& text) = 0;
    // A protocol event for the trace.
    virtual void event(const std::string& /*text*/) {}
};

// Events of the trace: "ack out", "nak in", ... (byte: ACK, NAK, EOT or CAN).
std::string controlEvent(std::uint8_t byte, bool sent);
std::string timeoutEvent(const char* what, Millis wait);
using tracefmt::packetEvent;
using tracefmt::sendEvent;
using tracefmt::startEvent;

enum class TransferEnd { running, succeeded, cancelledByHost, cancelledByDevice, failed };

const char* describe(TransferEnd end);

// Waits and limits of the device's side of the block transfer.
inline constexpr Millis kRequestInterval{1000};  // receiver: between start requests
inline constexpr int kCrcRequests = 3;           // then NAK (checksum mode)
inline constexpr int kStartRequests = 60;        // then the receiver gives up
inline constexpr Millis kPacketTimeout{10000};   // receiver: waiting for the next header
inline constexpr Millis kByteTimeout{1000};      // receiver: inside a packet; after a CAN
inline constexpr Millis kPurgeQuiet{100};        // receiver: silence before a NAK
// Receiver: the longest purge, beyond the time a packet takes on the line. A host
// that keeps sending (one waking the device) never leaves the line quiet.
inline constexpr Millis kPurgeLimit{200};
inline constexpr int kMaxErrors = 10;  // receiver: consecutive bad packets or stray bytes
inline constexpr std::size_t kMaxFileSize = 64u << 20;
inline constexpr Millis kStartTimeout{60000};  // sender: waiting for 'C' or NAK
inline constexpr Millis kAckTimeout{10000};    // sender: waiting for an answer
inline constexpr int kMaxSends = 10;           // sender: sends of one packet or of EOT
// Sender: bytes that answer nothing, from the start or the last ACK.
inline constexpr int kMaxStrayBytes = 10;
inline constexpr int kCancelBytes = 2;  // CAN bytes sent to cancel

}  // namespace tidewell::devsim
