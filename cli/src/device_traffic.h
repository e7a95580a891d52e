// What the device's bytes were, as far as tidewell-cli's waits must tell: lines end with
// a carriage return; a packet of the block transfer starts with SOH or STX, its number
// and the number's complement, and runs its length on; the other frames of a transfer
// are single bytes (EOT, and the receiver's ACK, NAK, CAN and 'C').
//
// The counts are of everything the port read since the link was opened; compare two
// snapshots to see what came in between. A packet counts once its header, its payload
// and one check byte are there, whether or not it passes its check; bytes inside it
// count as nothing else. (A CRC's second byte then counts as a byte outside: checksum
// packets are one byte shorter, and a count that waited for it would miss each of them.)
//
// Thread rules: take() on one thread (the worker's port reads), counts() on any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tidewell::cli {

struct TrafficCounts {
    std::uint64_t bytes = 0;
    std::uint64_t lineEnds = 0;   // carriage returns outside packets
    std::uint64_t lineFeeds = 0;  // line feeds outside packets
    std::uint64_t packets = 0;    // whole packets, their check aside
    std::uint64_t ends = 0;       // EOT outside packets
    std::uint64_t answers = 0;    // ACK, NAK, CAN and 'C' outside packets
    // Bytes of a packet (or of what may be its header) still under way: a packet has
    // begun but not ended.
    std::size_t packetUnderWay = 0;
};

// Counts of `later` minus those of `earlier` (packetUnderWay: later's).
TrafficCounts operator-(const TrafficCounts& later, const TrafficCounts& earlier);

class DeviceTraffic {
  public:
    void take(const std::uint8_t* data, std::size_t count);
    TrafficCounts counts() const;

  private:
    void takeByte(std::uint8_t byte);
    void outsidePacket(std::uint8_t byte);

    mutable std::mutex lock_;
    TrafficCounts counts_;
    std::uint8_t header_[3] = {};
    std::size_t headerBytes_ = 0;  // 1 or 2 while a header is being checked
    std::size_t bodyLeft_ = 0;     // bytes of the packet after its header still to come
};

}  // namespace tidewell::cli
