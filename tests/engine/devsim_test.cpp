// End to end over a pseudo-terminal against tidewell-devsim.
#include <gtest/gtest.h>

#include <filesystem>

#include "device_run.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

#define REQUIRE_DEVSIM()                                             \
    if (devsimProgram().empty()) {                                   \
        GTEST_SKIP() << "tidewell-devsim is not part of this build"; \
    }

// What the device stores of an upload: the file, then the zero padding of its last packet.
void expectPadded(const std::string& got, const std::string& content, char pad) {
    ASSERT_GE(got.size(), content.size());
    EXPECT_EQ(got.size() % 1024, 0u) << got.size();
    EXPECT_LT(got.size() - content.size(), content.empty() ? 1u : 1024u);
    EXPECT_TRUE(got.compare(0, content.size(), content) == 0) << "contents differ";
    EXPECT_EQ(got.find_first_not_of(pad, content.size()), std::string::npos) << "padding";
}

TEST(Devsim, DetectLogInAndMoveFilesBothWaysByteExact) {
    REQUIRE_DEVSIM();
    DeviceRun run({});
    ASSERT_TRUE(run.detectAndLogin());
    for (std::size_t size : {0u, 1u, 1024u, 3000u, 300u * 1024u, 2u * 1024u * 1024u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string content = patternBytes(size, static_cast<unsigned>(size) + 3);
        const std::string local = run.localFile("fw.pkg");
        writeFile(local, content);
        const std::size_t progressBefore = run.recorder.progress().size();
        ASSERT_EQ(run.upload(local, "flashimage"), resTransferOk);
        expectPadded(readFile(run.storeFile("flashimage")), content, '\0');
        const auto progress = run.recorder.progress();
        EXPECT_EQ(progress.size() - progressBefore, (size + 1023) / 1024);
        if (size == 3000) {
            EXPECT_EQ(std::vector<std::int32_t>(progress.begin() + progressBefore, progress.end()),
                      (std::vector<std::int32_t>{34, 68, 102}));
        }

        writeFile(run.storeFile("setting"), content);
        const std::string back = run.localFile("setting.bak");
        ASSERT_EQ(run.download("setting", back), resTransferOk);
        expectPadded(readFile(back), content, 0x1A);
    }
}

TEST(Devsim, CorruptedPacketIsRecoveredByNakBothWays) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--corrupt-packet", "2"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string content = patternBytes(5000, 9);
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, content);
    ASSERT_EQ(run.upload(local, "flashimage"), resTransferOk);
    expectPadded(readFile(run.storeFile("flashimage")), content, '\0');

    writeFile(run.storeFile("playlist"), content);
    const std::string back = run.localFile("playlist.bak");
    ASSERT_EQ(run.download("playlist", back), resTransferOk);
    expectPadded(readFile(back), content, 0x1A);
    const auto texts = run.recorder.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Checksum error count: 1"), texts.end());
}

TEST(Devsim, LostAckGivesOneRepeatAndThePacketIsWrittenOnce) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--drop-ack", "2"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string content = patternBytes(4000, 11);
    writeFile(run.storeFile("setting"), content);
    const std::string back = run.localFile("setting.bak");
    ASSERT_EQ(run.download("setting", back), resTransferOk);
    expectPadded(readFile(back), content, 0x1A);
    const auto texts = run.recorder.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Remote re-transmition count: 1"), texts.end());

    // The device's lost ACK: the engine sends the packet again, the device stores it once.
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, content);
    ASSERT_EQ(run.upload(local, "flashimage"), resTransferOk);
    expectPadded(readFile(run.storeFile("flashimage")), content, '\0');
}

TEST(Devsim, DeviceCancelGivesRemoteCancelBothWays) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--cancel-at", "2", "--ok-after-failure"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string content = patternBytes(5000, 2);
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, content);
    EXPECT_EQ(run.upload(local, "flashimage"), resRemoteCancel);
    writeFile(run.storeFile("setting"), content);
    EXPECT_EQ(run.download("setting", run.localFile("setting.bak")), resRemoteCancel);
}

TEST(Devsim, NoStartRequestGivesNoRemote) {
    REQUIRE_DEVSIM();
    EngineTiming timing;
    timing.byteWait = 20ms;  // 60 start attempts in about a second
    DeviceRun run({"--no-transfer-start", "--ok-after-failure"}, timing);
    ASSERT_TRUE(run.detectAndLogin());
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, "firmware");
    EXPECT_EQ(run.upload(local, "flashimage"), resNoRemote);
}

TEST(Devsim, RefusedOrUnansweredCommandLineGivesTransferError) {
    REQUIRE_DEVSIM();
    for (const char* fault : {"--refuse-transfers", "--silent-after-command"}) {
        SCOPED_TRACE(fault);
        DeviceRun run({fault});
        ASSERT_TRUE(run.detectAndLogin());
        const std::string local = run.localFile("fw.pkg");
        writeFile(local, "firmware");
        EXPECT_EQ(run.upload(local, "flashimage"), resTransferError);
        EXPECT_EQ(run.download("setting", run.localFile("s.bak")), resTransferError);
    }
}

TEST(Devsim, CancelMidTransferEndsTheCommandWithoutFurtherPackets) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--baud", "115200"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, patternBytes(200 * 1024, 4));
    const std::size_t before = run.recorder.results().size();
    run.worker->setFileName(local);
    run.worker->setCommand(cmdUpload);
    run.worker->queueCommandLine("download flashimage");
    ASSERT_TRUE(run.recorder.waitUntil([](const Recorder& r) { return r.progress().size() >= 3; }));
    run.worker->cancel();
    ASSERT_TRUE(run.recorder.waitForResults(before + 1, 10s));
    ASSERT_TRUE(run.worker->waitDispatched(3, 10s));  // detect, log-in, upload
    // The reply wait cannot run once cancelled, so the device's confirmation is missing.
    EXPECT_EQ(run.recorder.results().back(), resTransferError);
    const std::size_t packets = run.recorder.progress().size();
    EXPECT_LT(packets, 200u);
}

TEST(Devsim, HangUpMidTransferEndsWithTransferError) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--hangup-at", "6000"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, patternBytes(100 * 1024, 5));
    EXPECT_EQ(run.upload(local, "flashimage"), resTransferError);
    ASSERT_TRUE(run.worker->waitDispatched(3, 5s));
    const auto texts = run.recorder.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts.back().find("Lost the device"), std::string::npos) << texts.back();
}

// A device busy writing its flash answers packet 2 seconds late, then refuses packet 5
// once. Whether the wait outlasts the delay (the default) or not (the old one second),
// every packet must arrive once, in order: never success with a different file.
TEST(Devsim, ALateAnswerAndARefusedPacketStillMoveTheFileByteExact) {
    REQUIRE_DEVSIM();
    EngineTiming shortWait;
    shortWait.answerWait = 1000ms;
    for (const EngineTiming& timing : {EngineTiming{}, shortWait}) {
        SCOPED_TRACE("answer wait " + std::to_string(timing.answerWait.count()) + " ms");
        DeviceRun run({"--late-answer", "2:1500", "--corrupt-packet", "5"}, timing);
        ASSERT_TRUE(run.detectAndLogin());
        const std::string content = patternBytes(6000, 21);
        const std::string local = run.localFile("fw.pkg");
        writeFile(local, content);
        ASSERT_EQ(run.upload(local, "flashimage"), resTransferOk);
        expectPadded(readFile(run.storeFile("flashimage")), content, '\0');

        // The roles swapped: the device sends packet 2 late and packet 5 damaged once.
        writeFile(run.storeFile("setting"), content);
        const std::string back = run.localFile("setting.bak");
        ASSERT_EQ(run.download("setting", back), resTransferOk);
        expectPadded(readFile(back), content, 0x1A);
    }
}

// A cancelled transfer tells the device (CAN), and the next one waits for the device to
// be back at its command line: it must not take the cancelled one's last line for its own.
TEST(Devsim, AfterACancelledTransferTheNextOneSucceedsAtOnce) {
    REQUIRE_DEVSIM();
    DeviceRun run({"--baud", "115200"});
    ASSERT_TRUE(run.detectAndLogin());
    const std::string content = patternBytes(150 * 1024, 8);
    const std::string local = run.localFile("fw.pkg");
    writeFile(local, content);
    writeFile(run.storeFile("setting"), content);
    int cancels = 0;
    for (const bool cancelUpload : {true, false}) {
        SCOPED_TRACE(cancelUpload ? "upload cancelled" : "download cancelled");
        const std::size_t progressBefore = run.recorder.progress().size();
        const std::size_t resultsBefore = run.recorder.results().size();
        run.worker->setFileName(cancelUpload ? local : run.localFile("gone.bak"));
        std::filesystem::remove(run.localFile("gone.bak"));
        run.worker->setCommand(cancelUpload ? cmdUpload : cmdDownload);
        run.worker->queueCommandLine(cancelUpload ? "download flashimage" : "upload setting");
        ASSERT_TRUE(run.recorder.waitUntil(
            [&](const Recorder& r) { return r.progress().size() >= progressBefore + 3; }));
        run.worker->cancel();
        ASSERT_TRUE(run.recorder.waitForResults(resultsBefore + 1, 10s));
        EXPECT_EQ(run.worker->failureReason(), "Stopped.");
        EXPECT_TRUE(run.deviceLogged("rx CAN CAN: cancelled by the host", 2s, ++cancels));

        const std::string back = run.localFile("setting.bak");
        ASSERT_EQ(run.download("setting", back), resTransferOk) << run.worker->failureReason();
        expectPadded(readFile(back), content, 0x1A);
        EXPECT_EQ(run.worker->failureReason(), "");
    }
}

TEST(Devsim, LogInSucceedsOnlyOnOkAndAFailureSaysWhy) {
    REQUIRE_DEVSIM();
    const std::pair<const char*, const char*> faults[] = {
        {"--refuse-login", "The device refused the log-in: "},
        {"--ignore-login", "The device did not answer the log-in word."},
        {"--reprompt-login", "The device did not answer the log-in word."}};
    for (const auto& [fault, reason] : faults) {
        SCOPED_TRACE(fault);
        DeviceRun run({fault});
        ASSERT_EQ(run.resultOf(cmdDetect, 10s), resDetected);
        EXPECT_EQ(run.resultOf(cmdLogin, 10s), resLoginFailed);
        EXPECT_TRUE(run.worker->failureReason().starts_with(reason)) << run.worker->failureReason();
    }
    // A device slow to answer (a second and a half) is still logged in.
    DeviceRun slow({"--reply-delay", "1500"});
    ASSERT_EQ(slow.resultOf(cmdDetect, 10s), resDetected);
    EXPECT_EQ(slow.resultOf(cmdLogin, 10s), resLoggedIn) << slow.worker->failureReason();
}

TEST(Devsim, AFailedTransferSaysWhy) {
    REQUIRE_DEVSIM();
    DeviceRun refusing({"--refuse-transfers"});
    ASSERT_TRUE(refusing.detectAndLogin());
    const std::string local = refusing.localFile("fw.pkg");
    writeFile(local, "firmware");
    EXPECT_EQ(refusing.upload(local, "flashimage"), resTransferError);
    EXPECT_TRUE(refusing.worker->failureReason().starts_with(
        "The device refused \"download flashimage\": "))
        << refusing.worker->failureReason();
    EXPECT_NE(refusing.worker->failureReason().find(":ERROR:"), std::string::npos);

    DeviceRun silent({"--silent-after-command"});
    ASSERT_TRUE(silent.detectAndLogin());
    EXPECT_EQ(silent.download("setting", silent.localFile("s.bak")), resTransferError);
    EXPECT_EQ(silent.worker->failureReason(), "The device did not answer \"upload setting\".");

    DeviceRun hangingUp({"--hangup-at", "6000"});
    ASSERT_TRUE(hangingUp.detectAndLogin());
    writeFile(local, patternBytes(100 * 1024, 5));
    EXPECT_EQ(hangingUp.upload(local, "flashimage"), resTransferError);
    EXPECT_TRUE(hangingUp.worker->failureReason().starts_with("Lost the device "))
        << hangingUp.worker->failureReason();
}

}  // namespace
}  // namespace tidewell::testing
