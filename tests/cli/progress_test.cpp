#include "tidewell/cli/progress.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tidewell/cli/visible_text.h"

namespace tidewell::cli {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressMeter::Clock;

TEST(CliProgressFormat, SizesRatesAndDurations) {
    EXPECT_EQ(formatSize(0), "0 B");
    EXPECT_EQ(formatSize(1023), "1023 B");
    EXPECT_EQ(formatSize(1536), "1.5 KiB");
    EXPECT_EQ(formatSize(1048576), "1.0 MiB");
    EXPECT_EQ(formatSize(3ull << 30), "3.0 GiB");
    EXPECT_EQ(formatRate(512), "512 B/s");
    EXPECT_EQ(formatRate(11468.8), "11.2 KiB/s");
    EXPECT_EQ(formatRate(-1), "-- B/s");
    EXPECT_EQ(formatDuration(7s), "0:07");
    EXPECT_EQ(formatDuration(754s), "12:34");
    EXPECT_EQ(formatDuration(3723s), "1:02:03");
    EXPECT_EQ(formatDuration(-4s), "0:00");
}

// One line per sample: an upload shows its size and ETA, a download neither.
TEST(CliProgressFormat, ProgressLines) {
    struct Case {
        const char* name;
        ProgressSample sample;
        const char* line;
    };
    constexpr auto up = TransferWay::toDevice;
    // way, label, percent, bytes, total, elapsed, rate
    const Case cases[] = {
        {"upload with percent, bytes, rate and ETA",
         {up, "flashimage", 50, 524288, 1048576, 4s, {}},
         "flashimage   50%  512.0 KiB of 1.0 MiB  128.0 KiB/s  ETA 0:04"},
        {"upload without a rate yet has no ETA",
         {up, "setting", 0, 0, 3000, 0s, {}},
         "setting    0%  0 B of 2.9 KiB  -- B/s  ETA --:--"},
        {"finished upload shows no ETA and clamps the percent",
         {up, "setting", 102, 3000, 3000, 1s, {}},
         "setting  100%  2.9 KiB of 2.9 KiB  2.9 KiB/s"},
        {"a measured rate is used for rate and ETA",  // elapsed is mostly the start wait
         {up, "f", 50, 102400, 204800, 100s, 10240},
         "f   50%  100.0 KiB of 200.0 KiB  10.0 KiB/s  ETA 0:10"},
        {"download has bytes and rate but no ETA",
         {TransferWay::fromDevice, "playlist", 200, 262144, {}, 2s, {}},
         "playlist  256.0 KiB  128.0 KiB/s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatProgressLine(c.sample), c.line) << c.name;
    }
}

TEST(CliProgressMeter, RateIsMeasuredFromTheFirstPacket) {
    std::ostringstream out;
    StatusConsole console(out, false);
    const auto t0 = Clock::time_point{} + 1h;
    ProgressMeter meter(console, TransferWay::toDevice, "f", 102400, t0);
    meter.update(1, 1024, t0 + 30s);  // a long start wait
    meter.update(10, 10240, t0 + 30s + 9s);
    // 9 KiB more in 9 s: 1 KiB/s, so 90 KiB take 90 s more.
    EXPECT_NE(out.str().find("1.0 KiB/s  ETA 1:30"), std::string::npos) << out.str();
}

TEST(CliStatusConsole, InteractiveProgressIsRedrawnInPlace) {
    std::ostringstream out;
    StatusConsole console(out, true);
    console.progress("a 10%");
    console.progress("a 20%");
    EXPECT_EQ(out.str(), "\ra 10%\x1b[K\ra 20%\x1b[K");
    console.line("note");
    // The progress line is cleared, the note printed, the progress drawn again.
    EXPECT_EQ(out.str(), "\ra 10%\x1b[K\ra 20%\x1b[K\r\x1b[Knote\na 20%\x1b[K");
    console.endProgress();
    console.line("after");
    EXPECT_EQ(out.str(), "\ra 10%\x1b[K\ra 20%\x1b[K\r\x1b[Knote\na 20%\x1b[K\nafter\n");
}

TEST(CliStatusConsole, PlainOutputHasOneLineEach) {
    std::ostringstream out;
    StatusConsole console(out, false);
    console.progress("a 10%");
    console.line("note");
    console.endProgress();
    EXPECT_EQ(out.str(), "a 10%\nnote\n");
}

TEST(CliProgressMeter, InteractiveRedrawsAreThrottled) {
    std::ostringstream out;
    StatusConsole console(out, true);
    const auto t0 = Clock::time_point{} + 1h;
    ProgressMeter meter(console, TransferWay::toDevice, "f", 10240, t0);
    meter.update(10, 1024, t0 + 1s);
    meter.update(20, 2048, t0 + 1s + 50ms);  // too soon: not drawn
    meter.update(30, 3072, t0 + 1s + 150ms);
    const std::string text = out.str();
    EXPECT_NE(text.find(" 10%"), std::string::npos);
    EXPECT_EQ(text.find(" 20%"), std::string::npos);
    EXPECT_NE(text.find(" 30%"), std::string::npos);
    EXPECT_EQ(meter.bytes(), 3072u);
}

TEST(CliProgressMeter, PlainUploadPrintsEveryTenth) {
    std::ostringstream out;
    StatusConsole console(out, false);
    const auto t0 = Clock::time_point{} + 1h;
    ProgressMeter meter(console, TransferWay::toDevice, "f", 102400, t0);
    for (int packet = 1; packet <= 100; ++packet)
        meter.update(packet, packet * 1024u, t0 + packet * 10ms);
    meter.finish(true, t0 + 2s);
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
    EXPECT_NE(text.find("f  100%  100.0 KiB of 100.0 KiB"), std::string::npos);
}

TEST(CliProgressMeter, PlainDownloadPrintsEvery131072Bytes) {
    std::ostringstream out;
    StatusConsole console(out, false);
    const auto t0 = Clock::time_point{} + 1h;
    ProgressMeter meter(console, TransferWay::fromDevice, "s", std::nullopt, t0);
    for (int percent = 1; percent <= 250; ++percent)
        meter.update(percent, percent * 131072u / 100, t0 + percent * 1ms);
    const std::string during = out.str();
    EXPECT_EQ(std::count(during.begin(), during.end(), '\n'), 2);
    meter.finish(true, t0 + 1s);  // the last state was not printed yet
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_NE(text.find("s  320.0 KiB"), std::string::npos);
}

// What reaches standard error: device text with its control characters made visible.
TEST(CliVisibleText, ControlCharactersAndBrokenBytesBecomeVisible) {
    EXPECT_EQ(visibleText("\x1b]0;x\x07\x1b[2J\tok\x7f"), "\\e]0;x^G\\e[2J\tok^?");
    EXPECT_EQ(visibleText("Grüße 東京"), "Grüße 東京");
    EXPECT_EQ(visibleText("\xc2\x9b|\x9b|\xe2\x82|\xc0\xaf"),
              "\\u009b|\\x9b|\\xe2\\x82|\\xc0\\xaf");
}

TEST(CliProgressMeter, SuccessfulUploadEndsAtItsWholeSize) {
    std::ostringstream out;
    StatusConsole console(out, true);
    const auto t0 = Clock::time_point{} + 1h;
    ProgressMeter meter(console, TransferWay::toDevice, "f", 3000, t0);
    meter.update(68, 2048, t0 + 1s);
    meter.finish(true, t0 + 1s + 10ms);
    EXPECT_EQ(meter.bytes(), 3000u);
    const std::string text = out.str();
    EXPECT_NE(text.find("f  100%  2.9 KiB of 2.9 KiB"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST(CliProgressMeter, FailedTransferWithoutProgressPrintsNothing) {
    std::ostringstream out;
    StatusConsole console(out, true);
    ProgressMeter meter(console, TransferWay::toDevice, "f", 3000, Clock::now());
    meter.finish(false, Clock::now());
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace tidewell::cli
