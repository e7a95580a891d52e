#include "device_traffic.h"

namespace tidewell::cli {

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kCrcRequest = 'C';
constexpr std::size_t kHeaderLength = 3;
constexpr std::size_t kShortPayload = 128;
constexpr std::size_t kLongPayload = 1024;

}  // namespace

TrafficCounts operator-(const TrafficCounts& later, const TrafficCounts& earlier) {
    TrafficCounts d;
    d.bytes = later.bytes - earlier.bytes;
    d.lineEnds = later.lineEnds - earlier.lineEnds;
    d.lineFeeds = later.lineFeeds - earlier.lineFeeds;
    d.packets = later.packets - earlier.packets;
    d.ends = later.ends - earlier.ends;
    d.answers = later.answers - earlier.answers;
    d.packetUnderWay = later.packetUnderWay;
    return d;
}

void DeviceTraffic::take(const std::uint8_t* data, std::size_t count) {
    std::lock_guard lock(lock_);
    counts_.bytes += count;
    for (std::size_t i = 0; i < count; ++i) takeByte(data[i]);
}

TrafficCounts DeviceTraffic::counts() const {
    std::lock_guard lock(lock_);
    return counts_;
}

void DeviceTraffic::takeByte(std::uint8_t byte) {
    if (bodyLeft_ > 0) {
        ++counts_.packetUnderWay;
        if (--bodyLeft_ == 0) {
            ++counts_.packets;
            counts_.packetUnderWay = 0;
        }
        return;
    }
    if (headerBytes_ == 0) {
        outsidePacket(byte);
        counts_.packetUnderWay = headerBytes_;
        return;
    }
    header_[headerBytes_++] = byte;
    counts_.packetUnderWay = headerBytes_;
    if (headerBytes_ < kHeaderLength) return;
    headerBytes_ = 0;
    if (static_cast<std::uint8_t>(header_[1] + header_[2]) == 0xFF) {
        bodyLeft_ = (header_[0] == kSoh ? kShortPayload : kLongPayload) + 1;
        return;
    }
    // Not a header after all: its other two bytes are looked at afresh.
    counts_.packetUnderWay = 0;
    const std::uint8_t second = header_[1];
    const std::uint8_t third = header_[2];
    takeByte(second);
    takeByte(third);
}

void DeviceTraffic::outsidePacket(std::uint8_t byte) {
    switch (byte) {
        case kSoh:
        case kStx:
            header_[0] = byte;
            headerBytes_ = 1;
            break;
        case kCarriageReturn:
            ++counts_.lineEnds;
            break;
        case kLineFeed:
            ++counts_.lineFeeds;
            break;
        case kEot:
            ++counts_.ends;
            break;
        case kAck:
        case kNak:
        case kCan:
        case kCrcRequest:
            ++counts_.answers;
            break;
        default:
            break;
    }
}

}  // namespace tidewell::cli
