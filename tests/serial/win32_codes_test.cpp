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

constexpr DWORD kFileNotFound = 2;
constexpr DWORD kAccessDenied = 5;
constexpr DWORD kBadCommand = 22;
constexpr DWORD kGenFailure = 31;
constexpr DWORD kDeviceNotConnected = 1167;

TEST(Win32SerialCodes, AreWordedWithTheirNumber) {
    const std::string words = serialErrorText(kFileNotFound);
    EXPECT_THAT(words, EndsWith(" (error 2)"));
    EXPECT_THAT(words, ::testing::Not(StartsWith("Unknown")));
}

TEST(Win32SerialCodes, DeviceLostCodes) {
    for (const DWORD code : {kBadCommand, kGenFailure, kDeviceNotConnected}) {
        EXPECT_TRUE(isDeviceLostError(code)) << code;
    }
    for (const DWORD code : {DWORD{0}, kFileNotFound, kAccessDenied, ERROR_IO_PENDING}) {
        EXPECT_FALSE(isDeviceLostError(code)) << code;
    }
}

TEST(Win32SerialCodes, RefusedOpenSaysWhyAndWhatToDo) {
    auto device = std::make_shared<testing::FakeSerialDevice>();
    device->failOn(testing::SerialCall::open, 1, kAccessDenied);
    std::string why;
    EXPECT_EQ(createSerialPort(3, 115200, testing::fakeSerialPlatform(device), &why), nullptr);
    EXPECT_THAT(why, StartsWith("Error # 5 opening /dev/fake/COM3 : "));
    EXPECT_THAT(why, HasSubstr("(error 5)"));
    EXPECT_THAT(why, EndsWith("close it there first"));
}

}  // namespace
}  // namespace tidewell
