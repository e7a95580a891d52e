#include "device_traffic.h"

#include <gtest/gtest.h>

#include <string>

namespace tidewell::cli {
namespace {

void feed(DeviceTraffic& traffic, const std::string& bytes, std::size_t chunk = 16) {
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::string piece = bytes.substr(at, chunk);
        traffic.take(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
    }
}

// A packet whose body holds every byte that counts for something outside a packet.
std::string packet(char header, unsigned char number, std::size_t payload, std::size_t check) {
    std::string bytes{header, static_cast<char>(number), static_cast<char>(0xFF - number)};
    for (std::size_t i = 0; i < payload + check; ++i)
        bytes.push_back("\r\n\x01\x02\x04\x06C"[i % 7]);
    return bytes;
}

TEST(CliDeviceTraffic, LinesAndSingleByteFramesAreCountedOutsidePackets) {
    DeviceTraffic traffic;
    feed(traffic,
         ":OK:\r\n\n\n\x04\x06\x15\x18"
         "C"
         "abc");
    const TrafficCounts counts = traffic.counts();
    EXPECT_EQ(counts.bytes, 16u);
    EXPECT_EQ(counts.lineEnds, 1u);
    EXPECT_EQ(counts.lineFeeds, 3u);
    EXPECT_EQ(counts.ends, 1u);
    EXPECT_EQ(counts.answers, 4u);  // ACK, NAK, CAN, 'C'
    EXPECT_EQ(counts.packets, 0u);
    EXPECT_EQ(counts.packetUnderWay, 0u);
}

TEST(CliDeviceTraffic, APacketCountsOnceWholeAndItsBytesCountAsNothingElse) {
    DeviceTraffic traffic;
    const std::string stx = packet('\x02', 1, 1024, 1);
    feed(traffic, stx.substr(0, stx.size() - 1));
    TrafficCounts counts = traffic.counts();
    EXPECT_EQ(counts.packets, 0u);
    EXPECT_EQ(counts.packetUnderWay, stx.size() - 1);
    feed(traffic, stx.substr(stx.size() - 1) + packet('\x01', 2, 128, 1), 5);
    counts = traffic.counts();
    EXPECT_EQ(counts.packets, 2u);
    EXPECT_EQ(counts.packetUnderWay, 0u);
    EXPECT_EQ(counts.lineEnds + counts.lineFeeds + counts.ends + counts.answers, 0u);
}

TEST(CliDeviceTraffic, AHeaderThatFailsItsCheckIsLookedAtAfresh) {
    DeviceTraffic traffic;
    // STX, CR, SOH: no header (0x0D + 0x01 is not 0xFF); CR is a line end and SOH
    // starts the packet that follows.
    std::string bytes = "\x02\r";
    bytes += packet('\x01', 5, 128, 1);
    feed(traffic, bytes);
    const TrafficCounts counts = traffic.counts();
    EXPECT_EQ(counts.lineEnds, 1u);
    EXPECT_EQ(counts.packets, 1u);
}

TEST(CliDeviceTraffic, ALineFeedFloodHoldsNoPacketAndTheDifferenceShowsWhatCame) {
    DeviceTraffic traffic;
    feed(traffic, "\x02\x01");
    const TrafficCounts before = traffic.counts();
    EXPECT_EQ(before.packetUnderWay, 2u);  // a header may be under way
    feed(traffic, std::string(5000, '\n'));
    const TrafficCounts came = traffic.counts() - before;
    EXPECT_EQ(came.bytes, 5000u);
    EXPECT_EQ(came.lineFeeds, 5000u);  // those that ended the false header too
    EXPECT_EQ(came.packets, 0u);
    EXPECT_EQ(came.packetUnderWay, 0u);
}

}  // namespace
}  // namespace tidewell::cli
