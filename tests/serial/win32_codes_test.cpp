// Windows: the serial layer's codes are GetLastError() values, worded by the system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tidewell/serial/testing/fake_backend.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr DWORD kAccessDenied = 5;

TEST(Win32SerialCodes, ARefusedOpenIsWordedByTheSystemWithItsNumberAndWhatToDo) {
    auto device = std::make_shared<testing::FakeSerialDevice>();
    device->failOn(testing::SerialCall::open, 1, kAccessDenied);
    std::string why;
    EXPECT_EQ(createSerialPort(3, 115200, testing::fakeSerialPlatform(device), &why), nullptr);
    EXPECT_THAT(why, StartsWith("Error # 5 opening /dev/fake/COM3 : "));
    // The system's own words, then the number.
    EXPECT_THAT(why, HasSubstr("denied. (error 5)"));
    EXPECT_THAT(why, EndsWith("close it there first"));
}

}  // namespace
}  // namespace tidewell
