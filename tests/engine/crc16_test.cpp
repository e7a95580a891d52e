#include "tidewell/engine/crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tidewell {
namespace {

std::uint16_t crcOf(const std::string& text) {
    std::uint16_t crc = 0;
    crc16Buffer(crc, reinterpret_cast<const std::uint8_t*>(text.data()),
                static_cast<std::uint16_t>(text.size()));
    return crc;
}

TEST(Crc16, TableStartsWithTheStandardEntries) {
    EXPECT_EQ(kCrc16Table[0], 0x0000);
    EXPECT_EQ(kCrc16Table[1], 0x1021);
    EXPECT_EQ(kCrc16Table[2], 0x2042);
    EXPECT_EQ(kCrc16Table[3], 0x3063);
    EXPECT_EQ(kCrc16Table[0x80], 0x9188);
    EXPECT_EQ(kCrc16Table[0xFF], 0x1EF0);
}

TEST(Crc16, CheckValueOfTheXmodemParameterSet) {
    EXPECT_EQ(crcOf("123456789"), 0x31C3);
    EXPECT_EQ(crcOf("A"), 0x58E5);
}

TEST(Crc16, EmptyBufferLeavesTheRunningValue) {
    std::uint16_t crc = 0x1234;
    crc16Buffer(crc, nullptr, 0);
    EXPECT_EQ(crc, 0x1234);
}

TEST(Crc16, BufferEqualsByteUpdatesAndChainsAcrossCalls) {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    std::uint16_t byBytes = 0;
    for (char c : text) {
        crc16Update(byBytes, static_cast<std::uint8_t>(c));
    }
    std::uint16_t chained = 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    crc16Buffer(chained, data, 10);
    crc16Buffer(chained, data + 10, static_cast<std::uint16_t>(text.size() - 10));
    EXPECT_EQ(byBytes, crcOf(text));
    EXPECT_EQ(chained, crcOf(text));
}

TEST(Crc16, PayloadFollowedByItsCrcHighByteFirstChecksToZero) {
    std::vector<std::uint8_t> block(1024 + 2);
    for (std::size_t i = 0; i < 1024; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    std::uint16_t crc = 0;
    crc16Buffer(crc, block.data(), 1024);
    block[1024] = static_cast<std::uint8_t>(crc >> 8);
    block[1025] = static_cast<std::uint8_t>(crc & 0xFF);
    std::uint16_t check = 0;
    crc16Buffer(check, block.data(), static_cast<std::uint16_t>(block.size()));
    EXPECT_EQ(check, 0);

    block[500] ^= 0x01;
    check = 0;
    crc16Buffer(check, block.data(), static_cast<std::uint16_t>(block.size()));
    EXPECT_NE(check, 0);
}

}  // namespace
}  // namespace tidewell
