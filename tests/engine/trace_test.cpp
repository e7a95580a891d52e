// The trace writer's lines: heading, chunks (short, bounded, whole) and events.
#include "tidewell/engine/trace.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tidewell/engine/protocol.h"
#include "tidewell/engine/worker_codes.h"
#include "tidewell/time_zone.h"

namespace tidewell {
namespace {

using namespace std::chrono_literals;

// A writer whose clock stands still unless a test moves it.
struct TraceFixture {
    std::ostringstream out;
    TraceWriter::Clock::time_point time{};
    TraceWriter writer{out, false, [this] { return time; }};
};

std::vector<std::uint8_t> counting(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(0x30 + i % 64);
    return bytes;
}

TEST(TraceWriter, TheHeadingNamesProgramPortSpeedAndLocalStart) {
    TraceFixture trace;
    {
        const testing::ScopedTimeZone utc("UTC");
        trace.writer.heading({"tidewell-cli", "0.1.0", "COM3", "/dev/ttyUSB0", 115200, 1796856001});
    }
    EXPECT_EQ(trace.out.str(),
              "# tidewell trace 1\n"
              "# program tidewell-cli 0.1.0\n"
              "# port COM3 /dev/ttyUSB0\n"
              "# speed 115200\n"
              "# started 2026-12-09 22:40:01 +0000\n");
}

TEST(TraceWriter, EachRecordIsTimeKindAndItsText) {
    using protocol::ReplyMark;
    const auto bytes = counting(49);
    struct Case {
        const char* what;
        std::function<void(TraceWriter&)> write;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"a short chunk",
         [](TraceWriter& w) {
             const std::uint8_t packet[] = {0x02, 0x01, 0xfe, 'A', 0x7f, ' '};
             w.chunk(TraceWay::in, packet);
         },
         "  1234.500 < 02 01 fe 41 7f 20  |...A. |\n"},
        {"48 bytes, whole",
         [&](TraceWriter& w) {
             w.chunk(TraceWay::out, {bytes.data(), 48});
         },
         "  1234.500 > 30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f 40 41 42 43 44 45 46 47 48 "
         "49 4a 4b 4c 4d 4e 4f 50 51 52 53 54 55 56 57 58 59 5a 5b 5c 5d 5e 5f  "
         "|0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_|\n"},
        {"49 bytes, its ends", [&](TraceWriter& w) { w.chunk(TraceWay::out, bytes); },
         "  1234.500 > 30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f .. 49 bytes .. "
         "51 52 53 54 55 56 57 58 59 5a 5b 5c 5d 5e 5f 60  "
         "|0123456789:;<=>?..QRSTUVWXYZ[\\]^_`|\n"},
        {"a reply, escaped", [](TraceWriter& w) { w.reply("a\"b\\c\x1b:OK:", ReplyMark::ok); },
         "  1234.500 * reply \"a\\\"b\\\\c\\x1b:OK:\" ok\n"},
        {"a command line", [](TraceWriter& w) { w.commandLine("upload setting"); },
         "  1234.500 * line \"upload setting\"\n"},
        {"a packet", [](TraceWriter& w) { w.packet(1, 1024, false); },
         "  1234.500 * packet 1 1024 bad\n"},
        {"a resend", [](TraceWriter& w) { w.send(255, 1024); }, "  1234.500 * send 255 1024\n"},
        {"a start request", [](TraceWriter& w) { w.startRequest(protocol::NAK); },
         "  1234.500 * start NAK\n"},
        {"a NAK sent", [](TraceWriter& w) { w.control(TraceControl::nak, TraceWay::out); },
         "  1234.500 * nak out\n"},
        {"a time-out", [](TraceWriter& w) { w.timeout("answer", 10009ms); },
         "  1234.500 * timeout answer 10009\n"},
        {"a result", [](TraceWriter& w) { w.result(resTransferOk); },
         "  1234.500 * result 8 resTransferOk\n"},
    };
    for (const auto& c : cases) {
        TraceFixture trace;
        trace.time += 1234500us;
        c.write(trace.writer);
        trace.writer.flush();
        EXPECT_EQ(trace.out.str(), c.line) << c.what;
    }
}

TEST(TraceWriter, AllBytesShowsALongChunkWhole) {
    std::ostringstream out;
    {
        TraceWriter writer(out, true);
        writer.chunk(TraceWay::in, counting(1029));
    }
    const std::string line = out.str();
    EXPECT_EQ(line.find(".."), std::string::npos) << line;
    EXPECT_EQ(line.size(), std::string("  1234.500 < ").size() + 1029 * 3 - 1 + 2 + 1029 + 2 + 1)
        << line;
}

TEST(TraceWriter, ReadsRunIntoOneRecordUntilAWriteAnEventAGapOrTheirSize) {
    TraceFixture trace;
    const auto read = [&](std::size_t count) { trace.writer.chunk(TraceWay::in, counting(count)); };
    read(16);
    trace.time += 50ms;
    read(16);  // within the gap: joins
    trace.writer.chunk(TraceWay::out, counting(1));
    read(2);
    trace.writer.control(TraceControl::ack, TraceWay::out);
    read(3);
    trace.time += 51ms;
    read(4);  // after the gap: a record of its own
    read(1100 - 4);
    read(1);  // over the size: another
    trace.writer.flush();
    EXPECT_EQ(
        trace.out.str(),
        "     0.000 < 30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f "
        "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f  |0123456789:;<=>?0123456789:;<=>?|\n"
        "    50.000 > 30  |0|\n"
        "    50.000 < 30 31  |01|\n"
        "    50.000 * ack out\n"
        "    50.000 < 30 31 32  |012|\n"
        "   101.000 < 30 31 32 33 30 31 32 33 34 35 36 37 38 39 3a 3b .. 1100 bytes .. "
        "68 69 6a 6b 6c 6d 6e 6f 30 31 32 33 34 35 36 37  "
        "|01230123456789:;..hijklmno01234567|\n"
        "   101.000 < 30  |0|\n");
}

TEST(TraceWriter, ATraceAtItsLimitEndsWithTheLimitAndWritesNothingMore) {
    std::ostringstream out;
    {
        TraceWriter writer(out, false, {}, 200);
        for (int i = 0; i < 20; ++i) writer.commandLine("send setting");
        writer.chunk(TraceWay::in, counting(3));
    }
    const std::string text = out.str();
    EXPECT_LE(text.size(), 200U);
    EXPECT_NE(text.find("* line \"send setting\""), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 10), "limit 200\n") << text;
}

}  // namespace
}  // namespace tidewell
