// Reading a trace back: what the writer's functions write parses to what they were given,
// and every fault names its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tidewell/time_zone.h"
#include "tidewell/tracefmt/trace_format.h"
#include "tidewell/tracefmt/trace_parse.h"

namespace tidewell::tracefmt {
namespace {

std::vector<std::uint8_t> counting(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

TEST(TraceParse, TheHeadingReadsBackInAnyTimeZone) {
    const Heading written{"tidewell-cli", "0.1.0",   "COM3", "/dev/serial/by-id/usb 1",
                          115200,         1796856001};
    for (const char* offset : {"UTC0", "IST-5:30", "NST3:30"}) {
        const std::string text = [&] {
            const testing::ScopedTimeZone zone(offset);
            return headingText(written);
        }();
        std::vector<std::string_view> lines;
        for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
            lines.push_back(std::string_view(text).substr(at, text.find('\n', at) - at));
        }
        Heading read;
        const auto error = parseHeading(lines, read);
        EXPECT_FALSE(error) << offset << ": " << error->text();
        EXPECT_EQ(read.program, written.program);
        EXPECT_EQ(read.version, written.version);
        EXPECT_EQ(read.portLabel, written.portLabel);
        EXPECT_EQ(read.devicePath, written.devicePath);
        EXPECT_EQ(read.speed, written.speed);
        EXPECT_EQ(read.started, written.started) << offset << ": " << text;
    }
}

TEST(TraceParse, EveryRecordReadsBackAsWritten) {
    const std::vector<std::uint8_t> packet = {0x02, 0x01, 0xfe, '|', 0x7f, ' ', '"'};
    const auto bytes48 = counting(48);
    const auto merged = counting(1100);  // reads merged into one record
    const auto edges = [&](const std::vector<std::uint8_t>& all) {
        std::vector<std::uint8_t> shown(all.begin(), all.begin() + kEdgeBytes);
        shown.insert(shown.end(), all.end() - kEdgeBytes, all.end());
        return shown;
    };
    struct Case {
        double ms;
        RecordKind kind;
        std::string rest;
        std::vector<std::uint8_t> shown;
        std::size_t length;
        std::vector<std::string> event;  // word, then fields
    };
    const std::vector<Case> cases = {
        {0, RecordKind::read, chunkText(packet, false), packet, packet.size(), {}},
        {1234.5, RecordKind::written, chunkText(bytes48, false), bytes48, 48, {}},
        {12345678.901, RecordKind::read, chunkText(merged, false), edges(merged), 1100, {}},
        {7, RecordKind::read, chunkText(merged, true), merged, 1100, {}},
        {7, RecordKind::written, chunkText({}, false), {}, 0, {}},
        {8,
         RecordKind::event,
         lineEvent("upload \"a\\b\"\x1b\x7f\xc3\xa9"),
         {},
         0,
         {"line", "upload \"a\\b\"\x1b\x7f\xc3\xa9"}},
        {8,
         RecordKind::event,
         replyEvent(":ERROR: no", "error"),
         {},
         0,
         {"reply", ":ERROR: no", "error"}},
        {8, RecordKind::event, replyEvent("", "none"), {}, 0, {"reply", "", "none"}},
        {8, RecordKind::event, startEvent(false), {}, 0, {"start", "NAK"}},
        {8,
         RecordKind::event,
         packetEvent(255, 1024, false),
         {},
         0,
         {"packet", "255", "1024", "bad"}},
        {8, RecordKind::event, sendEvent(0, 128), {}, 0, {"send", "0", "128"}},
        {8, RecordKind::event, controlEvent(Control::nak, false), {}, 0, {"nak", "in"}},
        {8, RecordKind::event, timeoutEvent("header", 1000), {}, 0, {"timeout", "header", "1000"}},
        {8, RecordKind::event, "result 8 resTransferOk", {}, 0, {"result", "8", "resTransferOk"}},
        {8, RecordKind::event, "result 99 ", {}, 0, {"result", "99", ""}},  // a code unnamed
        {8, RecordKind::event, "limit 1048576", {}, 0, {"limit", "1048576"}},
        {8, RecordKind::event, "later 1 \"x y\"", {}, 0, {"later", "1", "x y"}},
    };
    for (const Case& c : cases) {
        std::string line = recordLine(c.ms, c.kind, c.rest);
        line.pop_back();
        Record record;
        const auto error = parseRecord(line, 9, record);
        ASSERT_FALSE(error) << line << "\n" << error->text();
        EXPECT_DOUBLE_EQ(record.milliseconds, c.ms) << line;
        EXPECT_EQ(record.kind, c.kind) << line;
        EXPECT_EQ(record.text, line);
        if (c.kind == RecordKind::event) {
            std::vector<std::string> event{record.event.word};
            event.insert(event.end(), record.event.fields.begin(), record.event.fields.end());
            EXPECT_EQ(event, c.event) << line;
        } else {
            EXPECT_EQ(record.chunk.shown, c.shown) << line;
            EXPECT_EQ(record.chunk.length, c.length) << line;
        }
    }
}

TEST(TraceParse, ATraceThatIsNotOursOrIsMalformedNamesTheLine) {
    const std::string heading = headingText({"tidewell-cli", "0.1.0", "COM3", "/dev/x", 0, 0});
    const std::string good = recordLine(1, RecordKind::written, chunkText(counting(3), false));
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"root:x:0:0\n", "line 1: expected \"# tidewell trace 1\", got \"root:x:0:0\""},
        {"# tidewell trace 2\n", "line 1: trace format \"2\" is not 1"},
        {"# tidewell trace 1\n# program x 1\n# port COM1 /dev/x\n",
         "line 4: the trace ends inside its heading"},
        {"# tidewell trace 1\n# program x 1\n# port COM1 /dev/x\n# speed fast\n",
         "line 4: expected a speed"},
        {heading + good + "  12.5 > 00  |.|\n", "line 7: expected a time, got \"  12.5\""},
        {heading + good + "     1.000 = 00  |.|\n", "line 7: expected ' < ', ' > ' or ' * '"},
        {heading + good + "     1.000\n", "line 7: expected ' < ', ' > ' or ' * '"},
        {heading + good + "     1.000 < 41 42  |AC|\n",
         "line 7: the printable column \"AC\" does not match"},
        {heading + "     1.000 < 00 .. 60 bytes .. 01  |...|\n",
         "line 6: a bounded chunk of 60 bytes"},
        {heading + "     1.000 * line \"open\n", "line 6: a quoted text has no closing quote"},
        {heading + "     1.000 * packet 256 1024 good\n",
         "line 6: the event packet expected a packet number"},
        {heading + "     1.000 * reply \"x\" fine\n",
         "line 6: the event reply expected one of ok error none"},
        {heading + "     1.000 * ack\n", "line 6: the event ack takes 1 fields, not 0"},
        {heading + good + "     2.000 < 01 0", "line 7: the trace ends inside a line"},
    };
    for (const auto& c : cases) {
        const ParsedTrace trace = parseTrace(c.text);
        ASSERT_TRUE(trace.error) << c.text;
        EXPECT_EQ(trace.error->text().substr(0, c.error.size()), c.error) << trace.error->text();
    }
    EXPECT_EQ(parseTrace(heading + good).records.size(), 1u);
}

}  // namespace
}  // namespace tidewell::tracefmt
