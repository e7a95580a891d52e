// Each fault option does what it says; one test each, on the device core.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "host_xmodem.h"

namespace tidewell::devsim {
namespace {

using testing::CoreHarness;
using testing::hostReceive;
using testing::hostSend;
using testing::makePacket;
using testing::Millis;
using testing::padded;
using testing::patternFile;

DeviceConfig withFaults(const std::function<void(Faults&)>& set) {
    DeviceConfig config;
    set(config.faults);
    return config;
}

TEST(DevsimFaults, NoPromptLeavesWakeUpsUnanswered) {
    CoreHarness h(withFaults([](Faults& f) { f.noPrompt = true; }));
    for (int i = 0; i < 50; ++i) {
        h.send("   ");
        h.advanceBy(Millis(9));
    }
    h.advanceBy(Millis(2000));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault no-prompt: wake-up not answered"));
    // The log-in itself still works.
    h.send("\r\npivot\r");
    EXPECT_TRUE(h.take().ends_with(":OK:\r\n"));
}

TEST(DevsimFaults, RefuseLoginRefusesTheRightWord) {
    CoreHarness h(withFaults([](Faults& f) { f.refuseLogin = true; }));
    h.send("   \r\npivot\r");
    EXPECT_EQ(h.take(), ":LOGIN:\r\n:ERROR:\r\n:LOGIN:\r\n");
    EXPECT_TRUE(h.logHas("fault refuse-login: log-in refused"));
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n:LOGIN:\r\n");
}

TEST(DevsimFaults, LogInFaultsAndEscapeSequences) {
    for (const int fault : {0, 1, 2}) {
        CoreHarness h(withFaults([&](Faults& f) {
            (fault == 0 ? f.ignoreLogin : fault == 1 ? f.repromptLogin : f.escapeSequences) = true;
        }));
        h.send("   \r\npivot\r");
        h.advanceBy(Millis(2000));
        const std::string answer = h.take();
        const std::string escapes = "\x1b]0;devsim\x07\x1b[2J";  // after the log-in only
        EXPECT_TRUE(fault == 0   ? answer == ":LOGIN:\r\n"
                    : fault == 1 ? answer == ":LOGIN:\r\n:LOGIN:\r\n"
                                 : answer.starts_with(":LOGIN:\r\n" + escapes + "Tidewell") &&
                                       answer.ends_with(escapes + ":OK:\r\n"))
            << answer;
    }
}

TEST(DevsimFaults, RefuseTransfersAnswersTransferLinesWithError) {
    CoreHarness h(withFaults([](Faults& f) { f.refuseTransfers = true; }));
    h.writeStoreFile("setting", patternFile(10));
    h.logIn();
    h.send("download flashimage\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    h.send("upload setting\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    h.advanceBy(Millis(5000));
    EXPECT_EQ(h.take(), "");  // no transfer behind the refusal
    h.send("ls\r");
    EXPECT_EQ(h.take(), "setting 10\r\n:OK:\r\n");
    EXPECT_TRUE(h.logHas("fault refuse-transfers"));
}

TEST(DevsimFaults, SilentAfterCommandAnswersNoCommandLine) {
    CoreHarness h(withFaults([](Faults& f) { f.silentAfterCommand = true; }));
    h.logIn();
    h.send("download flashimage\r");
    h.send("ls\r");
    h.advanceBy(Millis(5000));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("rx line \"download flashimage\""));
    EXPECT_TRUE(h.logHas("rx line \"ls\""));
    EXPECT_TRUE(h.logHas("fault silent-after-command: no reply"));
}

TEST(DevsimFaults, ReplyDelayHoldsEveryReply) {
    CoreHarness h(withFaults([](Faults& f) { f.replyDelay = Millis(700); }));
    h.send("   ");
    h.advanceBy(Millis(699));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), ":LOGIN:\r\n");
    h.send("\r\npivot\r");
    h.advanceBy(Millis(699));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_TRUE(h.take().ends_with(":OK:\r\n"));
    h.send("download setting\r");
    h.advanceBy(Millis(699));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), ":OK:\r\nC");  // the transfer starts with the reply
    EXPECT_TRUE(h.logHas("fault reply-delay: reply due in 700 ms"));
}

TEST(DevsimFaults, CorruptPacketAsSenderDamagesItsFirstSendingOnly) {
    CoreHarness h(withFaults([](Faults& f) { f.corruptPacket = 2; }));
    const auto file = patternFile(3000);
    h.writeStoreFile("setting", file);
    h.startTransfer("upload setting");
    const auto report = hostReceive(h);
    ASSERT_TRUE(report.completed) << report.failure;
    EXPECT_EQ(report.badPackets, 1);
    EXPECT_EQ(report.data, padded(file, 1024, 0x1A));
    EXPECT_TRUE(h.logHas("fault corrupt-packet 2: packet 2 (#2) sent with a damaged payload"));
}

TEST(DevsimFaults, CorruptPacketAsReceiverRefusesItOnce) {
    CoreHarness h(withFaults([](Faults& f) { f.corruptPacket = 2; }));
    h.startTransfer("download setting");
    const auto file = patternFile(3000);
    const auto report = hostSend(h, file);
    ASSERT_TRUE(report.delivered) << report.failure;
    EXPECT_EQ(report.naks, 1);
    EXPECT_EQ(report.sends, 4);
    EXPECT_EQ(*h.readStoreFile("setting"), padded(file, 1024, 0xEE));
    EXPECT_TRUE(h.logHas("fault corrupt-packet 2: packet 2 (#2) taken as corrupt"));
}

TEST(DevsimFaults, DropAckAsReceiverMakesTheHostRepeatThePacket) {
    CoreHarness h(withFaults([](Faults& f) { f.dropAck = 2; }));
    h.startTransfer("download setting");
    const auto file = patternFile(3000);
    const auto report = hostSend(h, file);
    ASSERT_TRUE(report.delivered) << report.failure;
    EXPECT_EQ(report.timeouts, 1);
    EXPECT_EQ(report.sends, 4);
    EXPECT_EQ(*h.readStoreFile("setting"), padded(file, 1024, 0xEE));  // stored once
    EXPECT_TRUE(h.logHas("fault drop-ack 2: ACK of packet 2 (#2) not sent"));
    EXPECT_TRUE(h.logHas("rx packet 2 (#2) repeated, acknowledged"));
}

TEST(DevsimFaults, DropAckAsSenderRepeatsThePacket) {
    CoreHarness h(withFaults([](Faults& f) { f.dropAck = 2; }));
    const auto file = patternFile(3000);
    h.writeStoreFile("setting", file);
    h.startTransfer("upload setting");
    const auto report = hostReceive(h);
    ASSERT_TRUE(report.completed) << report.failure;
    EXPECT_EQ(report.repeats, 1);
    EXPECT_EQ(report.data, padded(file, 1024, 0x1A));
    EXPECT_TRUE(h.logHas("fault drop-ack 2: ACK of packet 2 (#2) lost, sending it again"));
}

TEST(DevsimFaults, CancelAtAsSenderSendsCanCanInPlaceOfThePacket) {
    CoreHarness h(withFaults([](Faults& f) { f.cancelAt = 2; }));
    h.writeStoreFile("setting", patternFile(3000));
    h.startTransfer("upload setting");
    const auto report = hostReceive(h);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.numbers, std::vector<int>{1});
    EXPECT_TRUE(h.logHas("fault cancel-at 2: CAN CAN in place of packet 2 (#2)"));
    // The host acknowledges the cancel after its flush; the final reply comes
    // after a second of silence.
    h.advanceBy(Millis(500));
    h.send("\x06");
    h.advanceBy(Millis(999));
    EXPECT_EQ(h.take(), "");
    EXPECT_EQ(h.takeLine(Millis(10)), ":ERROR:");
}

TEST(DevsimFaults, CancelAtAsReceiverAnswersThePacketWithCanCan) {
    CoreHarness h(withFaults([](Faults& f) { f.cancelAt = 2; }));
    h.writeStoreFile("setting", testing::bytesOf("old"));
    h.startTransfer("download setting");
    const auto report = hostSend(h, patternFile(3000));
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.sends, 2);
    EXPECT_TRUE(h.logHas("fault cancel-at 2: CAN CAN in place of the ACK of packet 2 (#2)"));
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
    EXPECT_EQ(*h.readStoreFile("setting"), testing::bytesOf("old"));
}

TEST(DevsimFaults, OkAfterFailureConfirmsACancelledTransfer) {
    CoreHarness h(withFaults([](Faults& f) {
        f.cancelAt = 1;
        f.okAfterFailure = true;
    }));
    h.startTransfer("download setting");
    EXPECT_TRUE(hostSend(h, patternFile(100)).cancelled);
    EXPECT_EQ(h.takeLine(Millis(2000)), ":OK:");
    EXPECT_TRUE(h.logHas("fault ok-after-failure"));
}

TEST(DevsimFaults, NoTransferStartAsReceiverSendsNoRequest) {
    CoreHarness h(withFaults([](Faults& f) { f.noTransferStart = true; }));
    h.startTransfer("download setting");
    h.advanceBy(Millis(30000));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault no-transfer-start: no start request sent"));
    // The host gives up with CAN; the device goes back to its command line.
    h.send("\x18\x18\x18");
    EXPECT_EQ(h.takeLine(Millis(2000)), ":ERROR:");
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":OK:\r\n");
}

TEST(DevsimFaults, NoTransferStartAsSenderIgnoresStartRequests) {
    CoreHarness h(withFaults([](Faults& f) { f.noTransferStart = true; }));
    h.writeStoreFile("setting", patternFile(100));
    h.startTransfer("upload setting");
    for (int i = 0; i < 10; ++i) {
        h.send("C");
        h.advanceBy(Millis(1000));
    }
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault no-transfer-start: start requests ignored"));
}

TEST(DevsimFaults, BitErrorsAreSeededAndReproducible) {
    const auto run = [](std::uint64_t seed, double rate) {
        CoreHarness h(withFaults([&](Faults& f) {
            f.bitErrorRate = rate;
            f.seed = seed;
        }));
        // Five hundred prompts: 36000 bits from the device, 16000 to it. The
        // carriage return ends whatever a flipped bit made of a wake-up.
        for (int i = 0; i < 500; ++i) {
            h.send("\r   ");
            h.advanceBy(Millis(150));
        }
        std::vector<std::string> flips;
        for (const auto& line : h.log().lines()) {
            if (line.find("fault bit-error") != std::string::npos) flips.push_back(line.substr(11));
        }
        return std::make_pair(h.take(), flips);
    };
    const auto first = run(7, 2e-3);
    const auto again = run(7, 2e-3);
    const auto other = run(8, 2e-3);
    const auto clean = run(7, 0.0);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_TRUE(clean.second.empty());
    EXPECT_EQ(clean.first.size(), 500u * 9);
    // About 104 flips expected in all.
    EXPECT_GT(first.second.size(), 40u);
    EXPECT_LT(first.second.size(), 200u);
    EXPECT_NE(first.first, clean.first);
}

TEST(DevsimFaults, BitErrorsAlsoHitWhatTheDeviceReads) {
    // Every bit flips: "ls" is no longer "ls".
    CoreHarness h(withFaults([](Faults& f) { f.bitErrorRate = 1.0; }));
    h.send("\xDF\xDF\xDF");  // three spaces once inverted
    EXPECT_TRUE(h.logHas("fault bit-error rx byte 1 bit 0"));
    EXPECT_EQ(h.take().size(), std::string(":LOGIN:\r\n").size());  // answered, but garbled
}

TEST(DevsimFaults, HangupAtTheKthByteReceived) {
    CoreHarness h(withFaults([](Faults& f) { f.hangupAt = 4; }));
    h.send("   ");  // bytes 1 to 3: answered
    EXPECT_EQ(h.take(), ":LOGIN:\r\n");
    EXPECT_FALSE(h.device().hungUp());
    h.advanceBy(Millis(200));
    h.send("   ");  // byte 4 hangs up
    EXPECT_TRUE(h.device().hungUp());
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault hangup-at 4: hanging up"));
    EXPECT_FALSE(h.device().nextDeadline());
}

TEST(DevsimFaults, HangupInPlaceOfTheKthByteSent) {
    CoreHarness h(withFaults([](Faults& f) { f.hangupAtSent = 5; }));
    h.send("   ");
    EXPECT_EQ(h.take(), ":LOG");
    EXPECT_TRUE(h.device().hungUp());
    EXPECT_TRUE(h.logHas("fault hangup-at-sent 5: hanging up"));
}

TEST(DevsimFaults, NoFinalReply) {
    CoreHarness h(withFaults([](Faults& f) { f.finalReply = FinalReply::never; }));
    h.startTransfer("download setting");
    ASSERT_TRUE(hostSend(h, patternFile(100)).delivered);
    h.advanceBy(Millis(10000));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault no-final-reply"));
    h.send("ls\r");
    EXPECT_EQ(h.take(), "setting 1024\r\n:OK:\r\n");
}

TEST(DevsimFaults, FinalReplyLate) {
    CoreHarness h(withFaults([](Faults& f) {
        f.finalReply = FinalReply::late;
        f.finalReplyLate = Millis(3000);
    }));
    h.startTransfer("download setting");
    ASSERT_TRUE(hostSend(h, patternFile(100)).delivered);
    h.advanceBy(Millis(2999));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), ":OK:\r\n");
}

TEST(DevsimFaults, FinalReplyEarlyFollowsTheEotOfAnUpload) {
    CoreHarness h(withFaults([](Faults& f) { f.finalReply = FinalReply::early; }));
    h.writeStoreFile("setting", patternFile(100));
    h.startTransfer("upload setting");
    ASSERT_TRUE(hostReceive(h).completed);
    // At once after the host's ACK of EOT, well within 100 ms.
    EXPECT_EQ(h.take(), ":OK:\r\n");
    EXPECT_TRUE(h.logHas("fault final-reply-early"));
}

// Drives a session up to phase and into it: the device's answer in phase is due.
void enterPhase(CoreHarness& h, FaultPhase phase) {
    switch (phase) {
        case FaultPhase::detection:
            h.send("   ");
            return;
        case FaultPhase::login:
            h.send("   ");
            ASSERT_EQ(h.take(), ":LOGIN:\r\n");
            h.send("\r\npivot\r");
            return;
        case FaultPhase::command:
            h.logIn();
            h.send("upload setting\r");
            return;
        case FaultPhase::transfer:
            h.startTransfer("upload setting");
            h.send("C");
            ASSERT_EQ(h.take().size(), 1029u);  // packet 1
            h.send("\x06");
            return;
        case FaultPhase::final: {
            h.startTransfer("upload setting");
            const auto received = hostReceive(h);
            ASSERT_TRUE(received.completed) << received.failure;
            h.advanceBy(Millis(1500));  // the line's quiet second
            return;
        }
    }
}

class PhaseFaults : public ::testing::TestWithParam<FaultPhase> {};

TEST_P(PhaseFaults, HangupInThePhaseInPlaceOfItsAnswer) {
    CoreHarness h(withFaults([&](Faults& f) { f.hangupIn = GetParam(); }));
    h.writeStoreFile("setting", patternFile(3000));
    enterPhase(h, GetParam());
    EXPECT_TRUE(h.device().hungUp());
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("fault hangup-in " + std::string(phaseName(GetParam())) + ": hanging up"));
    EXPECT_FALSE(h.device().nextDeadline());
}

TEST_P(PhaseFaults, AFloodInThePhaseTakesTheDeviceOverForGood) {
    CoreHarness h(withFaults([&](Faults& f) {
        f.flood = FloodKind::lineFeeds;
        f.floodIn = GetParam();
    }));
    h.writeStoreFile("setting", patternFile(3000));
    if (GetParam() == FaultPhase::transfer) {
        h.startTransfer("upload setting");  // ":OK:", then the flood in place of packet 1
    } else {
        enterPhase(h, GetParam());
    }
    ASSERT_TRUE(h.device().flooding());
    EXPECT_EQ(h.take(), "");  // made only when asked for
    h.device().flood(5000, h.now());
    h.advanceBy(Millis(0));
    const std::string flood = h.take();
    EXPECT_EQ(flood.size(), 5000u);
    EXPECT_EQ(flood.find_first_not_of('\n'), std::string::npos);
    h.send("   \r\npivot\rls\r\x18\x18");  // a new wake-up, a log-in, a cancel: all ignored
    h.advanceBy(Millis(60000));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.device().flooding());
    EXPECT_TRUE(h.logHas("fault lf-flood " + std::string(phaseName(GetParam()))));
}

INSTANTIATE_TEST_SUITE_P(DevsimFaults, PhaseFaults,
                         ::testing::Values(FaultPhase::detection, FaultPhase::login,
                                           FaultPhase::command, FaultPhase::transfer,
                                           FaultPhase::final),
                         [](const auto& info) { return std::string(phaseName(info.param)); });

TEST(DevsimFaults, HangupInTheTransferAsReceiverComesInPlaceOfTheFirstAck) {
    CoreHarness h(withFaults([](Faults& f) { f.hangupIn = FaultPhase::transfer; }));
    h.startTransfer("download setting");
    h.advanceBy(Millis(10));
    EXPECT_EQ(h.take(), "C");
    h.send(makePacket(1, patternFile(1024), true));
    EXPECT_TRUE(h.device().hungUp());
    EXPECT_EQ(h.take(), "");
}

TEST(DevsimFaults, EndlessLineAndNoiseHaveNoLineEnd) {
    CoreHarness line(withFaults([](Faults& f) {
        f.flood = FloodKind::endlessLine;
        f.floodIn = FaultPhase::command;
    }));
    enterPhase(line, FaultPhase::command);
    line.device().flood(100, line.now());
    line.device().flood(100, line.now());
    line.advanceBy(Millis(0));
    const std::string text = line.take();
    ASSERT_EQ(text.size(), 200u);
    EXPECT_EQ(text.substr(0, 27), "abcdefghijklmnopqrstuvwxyza");
    EXPECT_EQ(text.find_first_not_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);

    CoreHarness noise(withFaults([](Faults& f) {
        f.flood = FloodKind::noise;
        f.floodIn = FaultPhase::detection;
    }));
    enterPhase(noise, FaultPhase::detection);
    noise.device().flood(4096, noise.now());
    noise.advanceBy(Millis(0));
    const std::string bytes = noise.take();
    ASSERT_EQ(bytes.size(), 4096u);
    EXPECT_GT(std::set<char>(bytes.begin(), bytes.end()).size(), 200u);
    EXPECT_EQ(bytes.find(":LOGIN:"), std::string::npos);
}

TEST(DevsimFaults, TrickleSendsAPacketOneByteAtATimeAndWaitsForIt) {
    CoreHarness h(withFaults([](Faults& f) { f.trickle = Millis(900); }));
    h.writeStoreFile("setting", patternFile(3000));
    h.startTransfer("upload setting");
    h.send("C");
    EXPECT_EQ(h.take(), "\x02");  // the header at once
    h.advanceBy(Millis(899));
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(1));
    EXPECT_EQ(h.take(), "\x01");  // then the packet number, 900 ms later
    h.advanceBy(Millis(9000));
    EXPECT_EQ(h.take().size(), 10u);
    // A quarter of an hour later the packet is still on its way, never sent twice.
    h.advanceBy(Millis(900 * 1000));
    EXPECT_EQ(h.take().size(), 1000u);
}

TEST(DevsimFaults, CorruptStoreInvertsOneByteOfEveryFileStored) {
    CoreHarness h(withFaults([](Faults& f) { f.corruptStore = 1500; }));
    h.startTransfer("download setting");
    const auto file = patternFile(3000);
    ASSERT_TRUE(hostSend(h, file).delivered);
    EXPECT_EQ(h.takeLine(Millis(2000)), ":OK:");
    auto expected = padded(file, 1024, 0xEE);
    expected[1500] = static_cast<std::uint8_t>(~expected[1500]);
    EXPECT_EQ(*h.readStoreFile("setting"), expected);
    EXPECT_TRUE(h.logHas("fault corrupt-store 1500: byte 1500 of \"setting\" inverted"));
    // A file too short for the offset is stored as received.
    h.send("download playlist\r");
    EXPECT_EQ(h.takeLine(), ":OK:");
    ASSERT_TRUE(hostSend(h, patternFile(100)).delivered);
    EXPECT_EQ(*h.readStoreFile("playlist"), padded(patternFile(100), 1024, 0xEE));
    EXPECT_TRUE(
        h.logHas("fault corrupt-store 1500: \"playlist\" has 1024 bytes, stored unchanged"));
}

TEST(DevsimFaults, RefuseUploadRefusesToSendTheNamedFileOnly) {
    CoreHarness h(withFaults([](Faults& f) { f.refuseUpload = {"playlist"}; }));
    h.writeStoreFile("setting", patternFile(10));
    h.writeStoreFile("playlist", patternFile(10));
    h.logIn();
    h.send("upload playlist\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    EXPECT_TRUE(h.logHas("fault refuse-upload: upload \"playlist\" refused"));
    h.send("download playlist\r");
    EXPECT_EQ(h.takeLine(), ":OK:");
    ASSERT_TRUE(hostSend(h, patternFile(10)).delivered);
    EXPECT_EQ(h.takeLine(Millis(2000)), ":OK:");
    h.send("upload setting\r");
    EXPECT_EQ(h.takeLine(), ":OK:");
    EXPECT_TRUE(hostReceive(h).completed);
}

TEST(DevsimFaults, MangleDownloadNameStoresUnderAnotherNameAndConfirms) {
    CoreHarness h(withFaults([](Faults& f) { f.mangleDownloadName = true; }));
    h.writeStoreFile("setting", testing::bytesOf("old"));
    h.startTransfer("download setting");
    ASSERT_TRUE(hostSend(h, patternFile(100)).delivered);
    EXPECT_EQ(h.takeLine(Millis(2000)), ":OK:");
    EXPECT_EQ(*h.readStoreFile("setting"), testing::bytesOf("old"));
    EXPECT_EQ(*h.readStoreFile("wetting"), padded(patternFile(100), 1024, 0xEE));
    EXPECT_TRUE(h.logHas("fault mangle-download-name: \"setting\" taken as \"wetting\""));
}

}  // namespace
}  // namespace tidewell::devsim
