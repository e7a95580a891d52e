// The engine fuzz targets' device scripts: a wrong escape or release time would leave the
// targets fuzzing less than they seem to, with nothing failing.
#include "device_script.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tidewell::fuzz {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testing::ScriptedLine;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Releases what is due by when and reads it off the line.
std::string releaseAt(DeviceScript& script, const std::shared_ptr<ScriptedLine>& line,
                      std::chrono::milliseconds when) {
    script.release(*line, SimClock::kStart + when);
    testing::ScriptedBackend port(line);
    std::string out(4096, '\0');
    DWORD moved = 0;
    if (!port.read(out.data(), static_cast<DWORD>(out.size()), &moved, nullptr)) return "(failed)";
    out.resize(moved);
    return out;
}

TEST(DeviceScript, EscapesGiveTheByteSilenceAWaitForAWriteAndAHangUp) {
    auto line = std::make_shared<ScriptedLine>();
    DeviceScript script(bytes("a\xFF\xFF"
                              "b\xFF\x05"
                              "c\xFF\x00"
                              "d\xFF\xFE"s),
                        SimClock::kStart);
    EXPECT_EQ(script.allBytes(),
              "a\xFF"
              "bcd");
    EXPECT_EQ(script.nextInput(), SimClock::kStart);
    EXPECT_EQ(releaseAt(script, line, 0ms),
              "a\xFF"
              "b");
    EXPECT_EQ(script.nextInput(), SimClock::kStart + 50ms);
    EXPECT_EQ(releaseAt(script, line, 49ms), "");
    EXPECT_EQ(releaseAt(script, line, 50ms), "c");
    EXPECT_TRUE(script.awaitsWrite());
    EXPECT_EQ(releaseAt(script, line, 5000ms), "");
    script.hostWrote(SimClock::kStart + 6000ms);
    EXPECT_FALSE(script.lineFaulted());
    EXPECT_EQ(releaseAt(script, line, 6000ms), "(failed)");
    EXPECT_EQ(line->unreadBytes(), 1u);  // "d", then the line hung up
    EXPECT_TRUE(script.lineFaulted());
    EXPECT_TRUE(script.finished());
}

TEST(DeviceScript, AWriteReleasesOnePartAndBytesNeverOvertakeEachOther) {
    auto line = std::make_shared<ScriptedLine>();
    DeviceScript script(bytes("\xFF\x00\xFF\x0A"
                              "a\xFF\x00"
                              "b"s),
                        SimClock::kStart);
    EXPECT_FALSE(script.nextInput());  // all of it waits for writes
    script.hostWrote(SimClock::kStart);
    script.hostWrote(SimClock::kStart + 10ms);  // before "a" is out: "b" still comes after it
    EXPECT_EQ(script.nextInput(), SimClock::kStart + 100ms);
    EXPECT_EQ(releaseAt(script, line, 100ms), "ab");
    EXPECT_TRUE(script.finished());
}

TEST(DeviceScript, ARecordedSessionReplaysAtItsOwnTimes) {
    ScriptWriter writer(SimClock::kStart);
    writer.deviceSent(SimClock::kStart + 30ms, "boot\xFF");
    writer.hostWrote(SimClock::kStart + 1000ms);
    writer.deviceSent(SimClock::kStart + 1000ms, "ok");
    writer.deviceSent(SimClock::kStart + 4000ms, "late");
    auto line = std::make_shared<ScriptedLine>();
    DeviceScript script(writer.bytes(), SimClock::kStart);
    EXPECT_EQ(releaseAt(script, line, 30ms), "boot\xFF");
    script.hostWrote(SimClock::kStart + 1000ms);
    EXPECT_EQ(releaseAt(script, line, 1000ms), "ok");
    EXPECT_EQ(releaseAt(script, line, 3990ms), "");
    EXPECT_EQ(releaseAt(script, line, 4000ms), "late");
}

}  // namespace
}  // namespace tidewell::fuzz
