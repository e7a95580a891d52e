// The production waits and counts: every other engine test runs on scaled waits, so a
// wrong default would pass them all. Here silence is reported at once and the wait each
// read asks for is recorded, so the real values are checked without spending them.
#include <gtest/gtest.h>

#include "files.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

std::vector<DWORD> repeated(std::vector<DWORD> head, std::size_t count, DWORD wait) {
    head.insert(head.end(), count, wait);
    return head;
}

std::vector<DWORD> tail(const std::vector<DWORD>& waits, std::size_t count) {
    return {waits.end() - static_cast<std::ptrdiff_t>(std::min(count, waits.size())), waits.end()};
}

class ProductionTiming : public ::testing::Test {
  protected:
    ProductionTiming() { rig.line->setInstantSilence(true); }
    // Runs a transfer session as the frame does, the command line queued first.
    std::int32_t session(std::int32_t command, const std::string& path, const std::string& line) {
        EXPECT_TRUE(rig.worker->queueCommandLine(line));
        rig.worker->setFileName(path);
        rig.worker->setCommand(command);
        EXPECT_TRUE(rig.worker->waitDispatched(1, 30s));
        const auto results = rig.recorder.results();
        return results.size() == 1 ? results[0] : -1;
    }

    TempDir dir;
    ScriptedRig rig{EngineTiming{}};
};

TEST_F(ProductionTiming, TheWaitsWithoutAReadToShowThemHaveTheirValues) {
    const EngineTiming timing;
    EXPECT_EQ(timing.detectPause, 5ms);
    EXPECT_EQ(timing.loginPause, 50ms);
    EXPECT_EQ(timing.flushLimit, 5000ms);
    EXPECT_EQ(timing.writeMargin, 1000ms);
}

TEST_F(ProductionTiming, DetectionReadsWith4MsAndLogInReadsFourLinesWith200Ms) {
    int wakeUps = 0;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "   " && ++wakeUps == 3) {
            line.feed(":LOGIN:");
        }
    });
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.worker->waitDispatched(1));
    EXPECT_EQ(rig.line->readWaits(), std::vector<DWORD>(3, 4));
    rig.worker->setCommand(cmdLogin);
    ASSERT_TRUE(rig.worker->waitDispatched(2));
    EXPECT_EQ(rig.recorder.results(), (std::vector<std::int32_t>{resDetected, resLoggedIn}));
    EXPECT_EQ(rig.line->readWaits(), repeated({4, 4, 4}, 4, 200));
}

TEST_F(ProductionTiming, CommandLineGetsFifteenReplyWaitsOf200MsAfterAFlushOf500Ms) {
    EXPECT_EQ(session(cmdUpload, dir.file("fw.pkg"), "download flashimage"), resTransferError);
    EXPECT_EQ(rig.line->readWaits(), repeated({500}, 15, 200));
}

TEST_F(ProductionTiming, FinalReplyGetsTwentyWaitsOf200Ms) {
    const std::string path = dir.file("fw.pkg");
    writeFile(path, "tiny");
    std::unique_ptr<ReceivingDevice> device;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            device = std::make_unique<ReceivingDevice>(line);
            line.feed(":OK:\r\nC");
        }
    });
    EXPECT_EQ(session(cmdUpload, path, "download flashimage"), resTransferError);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->eots(), 1);
    // ... the packet's answer, the EOT's answer, then the final reply attempts.
    EXPECT_EQ(tail(rig.line->readWaits(), 21), repeated({1000}, 20, 200));
}

TEST_F(ProductionTiming, SenderWaitsSixtyTimes1000MsForTheStart) {
    const std::string path = dir.file("fw.pkg");
    writeFile(path, "tiny");
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->sendFile(path); });
    EXPECT_EQ(result, resNoRemote);
    EXPECT_EQ(rig.line->readWaits(), repeated(std::vector<DWORD>(60, 1000), 1, 500));
}

TEST_F(ProductionTiming, SenderSendsAPacket25TimesAndEot10TimesWaiting1000MsEach) {
    const std::string path = dir.file("fw.pkg");
    writeFile(path, "tiny");
    ReceivingDevice refusing(*rig.line);
    refusing.answerPacket = [](const ReceivedPacket&, int) { return std::string(); };
    rig.line->feed("C");
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->sendFile(path); });
    EXPECT_EQ(result, resTooManyRetries);
    EXPECT_EQ(refusing.packets().size(), 25u);
    // 1029 bytes at 115200 baud are 90 ms on the line, on top of the answer wait.
    EXPECT_EQ(rig.line->readWaits(), repeated(repeated({1000}, 25, 1090), 1, 500));

    rig.line->onWrite(nullptr);
    ScriptedRig eotRig{EngineTiming{}};
    eotRig.line->setInstantSilence(true);
    ReceivingDevice noEotAck(*eotRig.line);
    noEotAck.answerEot = [](int) { return std::string(); };
    eotRig.line->feed("C");
    eotRig.worker->onWorker([&] { result = eotRig.worker->sendFile(path); });
    EXPECT_EQ(result, resTransferError);
    EXPECT_EQ(noEotAck.eots(), 10);
    EXPECT_EQ(tail(eotRig.line->readWaits(), 11), repeated(std::vector<DWORD>(10, 1000), 1, 500));
}

TEST_F(ProductionTiming, ReceiverWaits1000MsPerHeaderSixtyTimesInEachModeAnd3000MsAfterACan) {
    rig.line->feed(std::string(1, kCan));
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->receiveFile(dir.file("setting.bak")); });
    EXPECT_EQ(result, resTransferError);
    std::vector<DWORD> expected{1000, 3000};
    expected = repeated(expected, 59 + 60, 1000);
    expected.push_back(500);
    EXPECT_EQ(rig.line->readWaits(), expected);
    EXPECT_EQ(rig.line->written(),
              std::string(60, 'C') + std::string(60, kNak) + std::string(3, kCan));
}

TEST_F(ProductionTiming, ReceiverWaits1000MsPerBodyByteAndGivesUpAtTheSixteenthFailure) {
    const std::string packet = makePacket(1, patternBytes(1024));
    SendingDevice device(*rig.line, {packet.substr(0, 16)});  // then silence, every time
    std::int32_t result = -1;
    rig.worker->onWorker([&] { result = rig.worker->receiveFile(dir.file("setting.bak")); });
    EXPECT_EQ(result, resTooManyRetries);
    EXPECT_EQ(device.naks(), 15);
    // Each failure: the header read (it brings all 16 bytes), the body read that meets
    // the silence, the flush (before the NAK, or after the three CANs the last time).
    const std::vector<DWORD> failure{1000, 1000, 500};
    std::vector<DWORD> expected;
    for (int i = 0; i < 16; ++i) {
        expected.insert(expected.end(), failure.begin(), failure.end());
    }
    EXPECT_EQ(rig.line->readWaits(), expected);
}

}  // namespace
}  // namespace tidewell::testing
