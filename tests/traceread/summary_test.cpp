// A trace summed up: one transfer traced from both ends counts alike, its silences and
// anomalies are found, and a trace that ends early says so.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tidewell/engine/protocol.h"
#include "tidewell/tracefmt/trace_format.h"
#include "tidewell/traceread/trace_summary.h"

namespace tidewell::traceread {
namespace {

using tracefmt::Control;
using tracefmt::RecordKind;

constexpr TransferWords kWords{protocol::kUploadCommand, protocol::kDownloadCommand};

// A trace written record by record with the writer's own functions.
class TraceText {
  public:
    explicit TraceText(std::uint32_t speed = 0)
        : text_(tracefmt::headingText({"test", "1", "COM1", "/dev/x", speed, 0})) {}

    TraceText& at(double ms) {
        ms_ = ms;
        return *this;
    }
    TraceText& chunk(RecordKind way, std::size_t length) {
        text_ += tracefmt::recordLine(
            ms_, way, tracefmt::chunkText(std::vector<std::uint8_t>(length, 0x1a), false));
        return *this;
    }
    TraceText& event(const std::string& text) {
        text_ += tracefmt::recordLine(ms_, RecordKind::event, text);
        return *this;
    }
    TraceText& control(Control what, bool sent) {
        return event(tracefmt::controlEvent(what, sent));
    }
    TraceSummary summary() const { return summarize(tracefmt::parseTrace(text_), kWords); }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
    double ms_ = 0;
};

// What happens to a packet on the way.
enum class Fate { delivered, corrupted, ackLost, cutOff };

// One backup as the host (receiving) and the device (sending) trace it. Only the host
// posts results, the log-in's first.
void traceBackup(const std::vector<Fate>& fates, TraceText& host, TraceText& device) {
    host.event("result 4 resLoggedIn");
    for (TraceText* side : {&host, &device}) side->event(tracefmt::lineEvent("upload setting"));
    host.event(tracefmt::startEvent(true));
    device.event(tracefmt::startEvent(true));
    std::uint8_t number = 1;
    for (const Fate fate : fates) {
        device.event(tracefmt::sendEvent(number, 1024));
        if (fate == Fate::cutOff) {
            host.event(tracefmt::timeoutEvent("body", 1000)).control(Control::nak, true);
            device.control(Control::nak, false).event(tracefmt::sendEvent(number, 1024));
        } else if (fate == Fate::corrupted) {
            host.event(tracefmt::packetEvent(number, 1024, false)).control(Control::nak, true);
            device.control(Control::nak, false).event(tracefmt::sendEvent(number, 1024));
        } else if (fate == Fate::ackLost) {
            host.event(tracefmt::packetEvent(number, 1024, true)).control(Control::ack, true);
            device.event(tracefmt::timeoutEvent("answer", 1000))
                .event(tracefmt::sendEvent(number, 1024));
        }
        host.event(tracefmt::packetEvent(number, 1024, true)).control(Control::ack, true);
        device.control(Control::ack, false);
        ++number;
    }
    host.control(Control::eot, false).control(Control::ack, true);
    device.control(Control::eot, true).control(Control::ack, false);
    host.event(tracefmt::replyEvent(":OK:", "ok")).event("result 8 resTransferOk");
    device.event(tracefmt::replyEvent(":OK:", "ok"));
}

TEST(TraceSummary, BothEndsOfATransferCountItsPacketsAndRetriesAlike) {
    using enum Fate;
    const struct {
        const char* what;
        std::vector<Fate> fates;
        std::uint64_t retries;
        std::uint64_t failedChecks;  // on the receiving end
    } cases[] = {
        {"300 packets: the number byte wraps", std::vector<Fate>(300, delivered), 0, 0},
        {"a packet corrupted", {delivered, corrupted, delivered}, 1, 1},
        {"an ACK lost: the packet comes twice", {ackLost, delivered}, 1, 0},
        {"a packet cut off", {delivered, cutOff}, 1, 0},
    };
    for (const auto& c : cases) {
        TraceText host;
        TraceText device;
        traceBackup(c.fates, host, device);
        for (const TraceText* side : {&host, &device}) {
            const TraceSummary summary = side->summary();
            ASSERT_FALSE(summary.problem()) << c.what << ": " << summary.problem()->text();
            ASSERT_EQ(summary.commands.size(), 1u) << c.what;
            const Transfer& t = *summary.commands[0].transfer;
            const bool hostSide = side == &host;
            EXPECT_EQ(t.packets, c.fates.size()) << c.what;
            EXPECT_EQ(t.bytes, c.fates.size() * 1024) << c.what;
            EXPECT_EQ(t.retries, c.retries) << c.what << (hostSide ? " (host)" : " (device)");
            EXPECT_EQ(t.failedChecks, hostSide ? c.failedChecks : 0) << c.what;
            EXPECT_EQ(t.end, hostSide ? TransferEnd::result : TransferEnd::finished);
            EXPECT_EQ(t.result, hostSide ? "resTransferOk" : "ok");
        }
    }
}

TEST(TraceSummary, SilenceIsTheGapLessTheLineTimeAndAnomaliesShowTheBytesAround) {
    // 9600 bit/s: 960 bytes take 1000 ms.
    for (const std::uint32_t speed : {9600u, 0u}) {
        TraceText trace(speed);
        trace.at(0).event(tracefmt::lineEvent("download flashimage"));
        trace.at(10).chunk(RecordKind::read, 1).event(tracefmt::startEvent(true));
        trace.at(11).control(Control::nak, false);  // before any packet: a start request
        trace.at(20).event(tracefmt::sendEvent(1, 1024)).chunk(RecordKind::written, 960);
        trace.at(1300).chunk(RecordKind::read, 1).control(Control::nak, false);
        trace.at(1301).event(tracefmt::sendEvent(1, 1024));
        trace.at(1302).chunk(RecordKind::written, 960);
        trace.at(2400).chunk(RecordKind::read, 1).control(Control::ack, false);
        trace.at(2500).event("result 8 resTransferOk");
        const Transfer t = *trace.summary().commands.at(0).transfer;
        const double lineTime = speed == 0 ? 0 : 1000;
        EXPECT_DOUBLE_EQ(t.longestSilenceMs, 1300 - 20 - lineTime) << speed;
        EXPECT_EQ(t.retries, 1u);
        EXPECT_DOUBLE_EQ(t.durationMs, 2500);
        EXPECT_DOUBLE_EQ(t.blocksMs, 2400 - 10);
        EXPECT_DOUBLE_EQ(*t.bytesPerSecond, 1024 * 1000.0 / t.blocksMs);
        EXPECT_EQ(t.lineShare.has_value(), speed != 0);
        ASSERT_TRUE(t.firstAnomaly);
        EXPECT_EQ(t.firstAnomaly->text, "NAK received");
        EXPECT_DOUBLE_EQ(t.firstAnomaly->milliseconds, 1300);
        EXPECT_TRUE(t.firstAnomaly->before.starts_with("  1300.000 < 1a  |.|"))
            << t.firstAnomaly->before;
        EXPECT_TRUE(t.firstAnomaly->after.starts_with("  1302.000 > 1a 1a"))
            << t.firstAnomaly->after;
    }
}

TEST(TraceSummary, ATraceThatEndsInsideATransferIsCutShortUnlessItsLimitStoppedIt) {
    TraceText host;
    TraceText device;
    traceBackup({Fate::delivered}, host, device);
    const std::string sent = "     0.000 * eot out\n";  // the device's end before its ACK
    const std::string cut = device.text().substr(0, device.text().find(sent) + sent.size());
    const TraceSummary summary = summarize(tracefmt::parseTrace(cut), kWords);
    const auto problem = summary.problem();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->text(), "line " + std::to_string(summary.lastLine) +
                                   ": the trace ends inside the transfer \"upload setting\" of "
                                   "line 6, before its result");
    EXPECT_EQ(summary.commands.at(0).transfer->packets, 1u);

    // The host's end: its result is missing.
    const std::string result = "     0.000 * result 8 resTransferOk\n";
    const std::string noResult = host.text().substr(0, host.text().find(result));
    EXPECT_EQ(summarize(tracefmt::parseTrace(noResult), kWords).commands[0].transfer->end,
              TransferEnd::cutShort);
    const TraceSummary limited =
        summarize(tracefmt::parseTrace(noResult + "     0.000 * limit 4096\n"), kWords);
    EXPECT_FALSE(limited.problem());
    EXPECT_EQ(limited.commands[0].transfer->end, TransferEnd::traceLimit);
    EXPECT_EQ(limited.limitBytes, 4096u);
}

}  // namespace
}  // namespace tidewell::traceread
