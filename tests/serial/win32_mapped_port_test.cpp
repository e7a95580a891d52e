// Windows: TSerie on the real Win32 calls. Under wine, scripts/windows maps a COM port to
// tidewell-devsim's pseudo-terminal and names it in TIDEWELL_TEST_COM_PORT; without it
// the tests that need a device are skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tidewell/serial/event.h"
#include "tidewell/serial/ports.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto kAnswerLimit = std::chrono::seconds(10);
// A COM number that nothing stands behind, here or in the wine prefix.
constexpr std::uint8_t kNothingThere = 39;

std::uint8_t mappedPort() {
    const char* number = std::getenv("TIDEWELL_TEST_COM_PORT");
    return number ? static_cast<std::uint8_t>(std::atoi(number)) : 0;
}

// One read with the port's current timing; "<failed>" when the read fails.
std::string readOnce(TSerie& port) {
    ManualResetEvent event;
    Overlapped overlapped;
    overlapped.hEvent = &event;
    char buffer[64];
    DWORD count = 0;
    if (!port.read(buffer, sizeof buffer, &count, &overlapped)) return "<failed>";
    return std::string(buffer, count);
}

// Reads until text has come or the limit passed.
std::string readUntil(TSerie& port, const std::string& text) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + kAnswerLimit;
    while (got.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
        const std::string more = readOnce(port);
        if (more == "<failed>") break;
        got += more;
    }
    return got;
}

bool writeAll(TSerie& port, const std::string& text) {
    ManualResetEvent event;
    Overlapped overlapped;
    overlapped.hEvent = &event;
    DWORD count = 0;
    return port.write(text.data(), static_cast<DWORD>(text.size()), &count, &overlapped) &&
           count == text.size();
}

TEST(Win32Port, NothingBehindTheNumberGivesErrorTwoAndThePath) {
    std::string why;
    EXPECT_EQ(createSerialPort(kNothingThere, 115200, defaultSerialPlatform(), &why), nullptr);
    EXPECT_THAT(why, StartsWith("Error # 2 opening \\\\.\\COM39 : "));
}

TEST(Win32Port, TheStandardLinkWakesTheDeviceAndReadsItsAnswers) {
    const std::uint8_t number = mappedPort();
    if (number == 0) GTEST_SKIP() << "no COM port mapped to a device (TIDEWELL_TEST_COM_PORT)";
    std::string why;
    auto port = createSerialPort(number, 115200, defaultSerialPlatform(), &why);
    ASSERT_NE(port, nullptr) << why;

    // Nothing has come yet: a read ends after its wait with no bytes.
    EXPECT_EQ(readOnce(*port), "");
    ASSERT_TRUE(writeAll(*port, "   "));
    EXPECT_THAT(readUntil(*port, ":LOGIN:"), HasSubstr(":LOGIN:"));

    // Non-blocking reads: at once, with what is buffered (nothing).
    ASSERT_TRUE(port->setNonBlockingRead());
    EXPECT_EQ(readOnce(*port), "");
    ASSERT_TRUE(writeAll(*port, "pivot\r"));
    EXPECT_THAT(readUntil(*port, ":OK:"), HasSubstr(":OK:"));
}

TEST(Win32Port, TheSystemsPortsAreListedByTheirOwnNumbers) {
    const std::uint8_t number = mappedPort();
    if (number == 0) GTEST_SKIP() << "no COM port mapped to a device (TIDEWELL_TEST_COM_PORT)";
    testsupport::TempDir dir;
    ComPortResolver resolver(SettingsStore(dir / "tidewell.ini"));
    const auto entries = resolver.entries();
    ASSERT_GE(entries.size(), number);
    const ComPortEntry& mapped = entries[number - 1];
    EXPECT_EQ(mapped.devicePath, "\\\\.\\COM" + std::to_string(number));
    EXPECT_TRUE(mapped.present);
    EXPECT_FALSE(entries[kLastComPort - 1].present);  // nothing maps COM16 here
    EXPECT_EQ(resolver.resolve(number), mapped.devicePath);
}

}  // namespace
}  // namespace tidewell
