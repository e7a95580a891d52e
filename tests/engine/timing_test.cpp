// The production waits: every other engine test runs on scaled waits, so a wrong
// default would pass them all (the counts are never scaled: those tests pin them). Here silence is
// reported at once and the wait each read asks for is recorded, or time is simulated, so the real
// values are checked without spending them.
#include <gtest/gtest.h>

#include <optional>

#include "files.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

std::vector<DWORD> waits(std::initializer_list<std::pair<std::size_t, DWORD>> runs) {
    std::vector<DWORD> all;
    for (const auto& [count, wait] : runs) {
        all.insert(all.end(), count, wait);
    }
    return all;
}

class ProductionTiming : public ::testing::Test {
  protected:
    ProductionTiming() {
        rig.line->setInstantSilence(true);
        writeFile(package, "tiny");
    }
    // An upload as the frame starts it (the command line queued first); its one result.
    std::int32_t upload() {
        EXPECT_TRUE(rig.worker->queueCommandLine("download flashimage"));
        rig.worker->setFileName(package);
        rig.worker->setCommand(cmdUpload);
        EXPECT_TRUE(rig.worker->waitDispatched(1, 30s));
        const auto results = rig.recorder.results();
        return results.size() == 1 ? results[0] : -1;
    }

    TempDir dir;
    std::string package = dir.file("fw.pkg");
    ScriptedRig rig{EngineTiming{}};
};

// A caller's own limit stretches the reply waits and the log-in's, never below the
// protocol's counts or the floor of two byte waits.
TEST(BoundedTiming, ALimitStretchesTheReplyWaitsButNeverShortensThem) {
    const EngineTiming longer = boundedBy(60s);
    EXPECT_EQ(longer.commandReplyAttempts, 300);
    EXPECT_EQ(longer.finalReplyAttempts, 300);
    EXPECT_EQ(longer.loginReplyWait, 60s);
    const EngineTiming shorter = boundedBy(100ms);
    EXPECT_EQ(shorter.commandReplyAttempts, 15);
    EXPECT_EQ(shorter.finalReplyAttempts, 20);
    EXPECT_EQ(shorter.loginReplyWait, 2000ms);
    EXPECT_EQ(boundedBy(3001ms).commandReplyAttempts, 16);  // a part of a read counts whole
}

TEST_F(ProductionTiming, CommandLineGetsAFlushOf500MsThenFifteenReplyWaitsOf200Ms) {
    EXPECT_EQ(upload(), resTransferError);
    EXPECT_EQ(rig.line->readWaits(), waits({{1, 500}, {15, 200}}));
}

// The device answers the first send of the packet with a lone CAN (no cancel), then ACKs.
TEST_F(ProductionTiming, SenderWaitsTenSecondsForAnAnswerAndOneForASecondCanThenTwentyReplyWaits) {
    std::unique_ptr<ReceivingDevice> device;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            device = std::make_unique<ReceivingDevice>(line);
            device->answerPacket = [](const ReceivedPacket&, int send) {
                return std::string(1, send == 0 ? kCan : kAck);
            };
            line.feed(":OK:\r\nC");
        }
    });
    EXPECT_EQ(upload(), resTransferError);  // no final reply
    ASSERT_TRUE(device);
    EXPECT_EQ(device->eots(), 1);
    // The flush, the reply, the first send's answer (10 s plus 90 ms of line time) and the
    // wait for a second CAN, the look for stale answers before the resend, the resend's
    // answer (1 s plus line time), the EOT's answer, the final reply attempts.
    EXPECT_EQ(
        rig.line->readWaits(),
        waits(
            {{1, 500}, {1, 200}, {1, 10090}, {1, 1000}, {1, 1}, {1, 1090}, {1, 1000}, {20, 200}}));
}

// A lone CAN, then one packet that stops after 16 bytes, then silence for good.
TEST_F(ProductionTiming, ReceiverWaits1000MsPerHeaderAndBodyByteAnd3000MsAfterACan) {
    const std::string cut = makePacket(1, patternBytes(1024)).substr(0, 16);
    int requests = 0;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "C" && ++requests <= 2) {
            line.feed(requests == 1 ? std::string(1, kCan) : cut);
        }
    });
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->receiveFile(dir.file("a.bak")); });
    EXPECT_EQ(result, resTransferError);
    // CAN and 3000 ms for its follower; the header, the missing body byte and the flush
    // before the NAK; then 60 header attempts in each mode and the flush after the CANs.
    EXPECT_EQ(rig.line->readWaits(),
              waits({{1, 1000}, {1, 3000}, {2, 1000}, {1, 500}, {120, 1000}, {1, 500}}));
}

// Simulated time: the worker's pauses and the clock of its flush limit are the line's, so
// production waits are checked by the simulated clock and cost nothing.
class SimulatedTime : public ::testing::Test {
  protected:
    // bytes at the start plus first, then every period after when one is given.
    class TimedBytes final : public TimedInput {
      public:
        TimedBytes(std::string bytes, SimClock::TimePoint at,
                   std::optional<std::chrono::milliseconds> period = std::nullopt)
            : bytes_(std::move(bytes)), next_(at), period_(period) {}
        std::optional<SimClock::TimePoint> nextInput() override {
            return done_ ? std::nullopt : std::optional(next_);
        }
        void release(ScriptedLine& line, SimClock::TimePoint now) override {
            for (; !done_ && next_ <= now; next_ += period_.value_or(0ms)) {
                line.feed(bytes_);
                done_ = !period_;
            }
        }

      private:
        std::string bytes_;
        SimClock::TimePoint next_;
        std::optional<std::chrono::milliseconds> period_;
        bool done_ = false;
    };

    void device(std::string bytes, std::chrono::milliseconds first,
                std::optional<std::chrono::milliseconds> period = std::nullopt) {
        rig.line->useVirtualTime(
            clock, std::make_shared<TimedBytes>(std::move(bytes), clock->now() + first, period));
    }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock->now() -
                                                                     SimClock::kStart);
    }

    std::shared_ptr<SimClock> clock = std::make_shared<SimClock>();
    ScriptedRig rig{simulatedTiming(clock)};
};

TEST_F(SimulatedTime, FlushAgainstADeviceThatNeverFallsSilentEndsAtItsFiveSecondLimit) {
    device("x", 0ms, 100ms);
    rig.worker->onWorker([&] { rig.worker->flushInput(); });
    EXPECT_GE(elapsed(), 5000ms);
    EXPECT_LE(elapsed(), 5100ms);
}

// Each attempt is a 4 ms read and a 5 ms pause: the prompt due at 1000 ms is read by the
// 112th wake-up (the one at 999 ms).
TEST_F(SimulatedTime, DetectionPausesFiveMillisecondsBetweenItsAttempts) {
    device(":LOGIN:", 1000ms);
    rig.worker->onWorker([&] { EXPECT_EQ(rig.worker->detectDevice(), resDetected); });
    EXPECT_EQ(rig.line->writeCalls(), 112);
    EXPECT_EQ(elapsed(), 1000ms);
}

TEST_F(SimulatedTime, LoginPausesFiftyMillisecondsBeforeTheWord) {
    std::vector<SimClock::TimePoint> writes;
    rig.line->onWrite([&](ScriptedLine&, const std::string&) { writes.push_back(clock->now()); });
    device("", 0ms);
    rig.worker->onWorker([&] { EXPECT_EQ(rig.worker->login(), resLoginFailed); });
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1] - writes[0], 50ms);
    EXPECT_EQ(rig.line->written(), "\r\npivot\r");
}

}  // namespace
}  // namespace tidewell::testing
