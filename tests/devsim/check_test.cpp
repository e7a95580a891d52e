#include "tidewell/devsim/check.h"

#include <gtest/gtest.h>

#include "host_xmodem.h"

namespace tidewell::devsim {
namespace {

using testing::bytesOf;
using testing::patternFile;
using testing::referenceCrc16;

TEST(DevsimCheck, CrcOfTheStandardCheckStringIs0x31C3) {
    EXPECT_EQ(crc16(bytesOf("123456789")), 0x31C3);
    EXPECT_EQ(crc16({}), 0x0000);
}

TEST(DevsimCheck, CrcAgreesWithATableDrivenCrcAndContinues) {
    const auto data = patternFile(3000);
    EXPECT_EQ(crc16(data), referenceCrc16(data));
    const auto head = std::span(data).first(1000);
    const auto tail = std::span(data).subspan(1000);
    EXPECT_EQ(crc16(tail, crc16(head)), crc16(data));
}

TEST(DevsimCheck, PayloadFollowedByItsCrcHighByteFirstGivesZero) {
    auto data = patternFile(1024, 3);
    const auto crc = crc16(data);
    data.push_back(static_cast<std::uint8_t>(crc >> 8));
    data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    EXPECT_EQ(crc16(data), 0);
}

TEST(DevsimCheck, ChecksumIsTheSumModulo256) {
    EXPECT_EQ(checksum8(bytesOf("")), 0);
    const std::vector<std::uint8_t> data = {0xFF, 0x02, 0x10};
    EXPECT_EQ(checksum8(data), 0x11);
}

}  // namespace
}  // namespace tidewell::devsim
