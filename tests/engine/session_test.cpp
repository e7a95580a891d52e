// Transfer sessions: command line, reply, block transfer and the device's final reply,
// driven through the worker's commands as the frame drives them.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <utility>

#include "files.h"
#include "rig.h"
#include "xmodem_peer.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

class Session : public ::testing::Test {
  protected:
    // As the frame starts a transfer: cancel, file name, command, command line.
    void start(std::int32_t command, const std::string& path, const std::string& line) {
        rig.worker->cancel();
        rig.worker->setFileName(path);
        rig.worker->setCommand(command);
        rig.worker->queueCommandLine(line);
    }
    std::int32_t onlyResult() {
        EXPECT_TRUE(rig.recorder.waitForResults(1, 30s));
        EXPECT_TRUE(rig.worker->waitDispatched(1));
        const auto results = rig.recorder.results();
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? -1 : results.front();
    }

    TempDir dir;
    ScriptedRig rig;
    std::unique_ptr<ReceivingDevice> receiving;
    std::unique_ptr<SendingDevice> sending;
};

TEST_F(Session, UploadRunsFromCommandLineToFinalOk) {
    const std::string content = patternBytes(3000);
    const std::string path = dir.file("fw.pkg");
    writeFile(path, content);
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            receiving = std::make_unique<ReceivingDevice>(line);
            receiving->answerEot = [](int) { return std::string(1, kAck) + "saved\r\n:OK:\r\n"; };
            line.feed("download flashimage\r\n:OK:\r\nC");
        }
    });
    start(cmdUpload, path, "download flashimage");
    EXPECT_EQ(onlyResult(), resTransferOk);
    EXPECT_EQ(rig.recorder.progress(), (std::vector<std::int32_t>{34, 68, 102}));
    std::string padded = content;
    padded.resize(3072, '\0');
    EXPECT_EQ(receiving->deliveredPayload(), padded);
    EXPECT_EQ(rig.line->written().rfind("download flashimage\r", 0), 0u);
    const auto texts = rig.recorder.texts();
    EXPECT_EQ(texts, (std::vector<std::string>{"download flashimage", ":OK:", "saved", ":OK:"}));
}

// The device's final reply follows its EOT at once: it must not be flushed away.
TEST_F(Session, DownloadKeepsTheFinalReplyThatFollowsEotAtOnce) {
    const std::string content = patternBytes(2500);
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "upload setting\r") {
            sending = std::make_unique<SendingDevice>(line, fileFrames(content));
            sending->afterEnd = "\r\n:OK:\r\n";
            line.feed(":OK:\r\n");
        }
    });
    const std::string path = dir.file("setting.bak");
    start(cmdDownload, path, "upload setting");
    EXPECT_EQ(onlyResult(), resTransferOk);
    std::string padded = content;
    padded.resize(3072, 0x1A);
    EXPECT_EQ(readFile(path), padded);
    EXPECT_EQ(rig.recorder.texts(),
              (std::vector<std::string>{":OK:", "Cancel count: 0", "Unknown header count: 0",
                                        "Header timeout count: 0", "Incomplete packet count: 0",
                                        "Invalid packet number count: 0", "Checksum error count: 0",
                                        "Remote re-transmition count: 0", "", ":OK:"}));
}

// After EOT is acknowledged the device is back at its command line: a CAN would land
// there and a flush would swallow its final reply.
TEST_F(Session, FailedCloseOfTheReceivedFileIsAWriteErrorWithoutCancel) {
    rig.worker->failReceivedFileClose = true;
    const std::string content = patternBytes(1500);
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "upload setting\r") {
            sending = std::make_unique<SendingDevice>(line, fileFrames(content));
            sending->afterEnd = "\r\n:OK:\r\n";
            line.feed(":OK:\r\n");
        }
    });
    start(cmdDownload, dir.file("setting.bak"), "upload setting");
    EXPECT_EQ(onlyResult(), resWriteError);
    EXPECT_EQ(sending->cans(), 0);
    const auto texts = rig.recorder.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Error: Write file exception."), 1);
    EXPECT_EQ(texts.back(), ":OK:");  // the final reply was read, not flushed away
}

TEST_F(Session, UnansweredCommandLineGivesTransferErrorAfterFifteenWaits) {
    start(cmdUpload, dir.file("x"), "download flashimage");
    EXPECT_EQ(onlyResult(), resTransferError);
    EXPECT_EQ(rig.line->written(), "download flashimage\r");
    EXPECT_GE(rig.line->readCalls(), 15);  // exactly 15: see ProductionTiming
}

// The reply waits are counts of line reads: the protocol's by default; a caller that
// bounds the waits itself may allow more, and a reply 30 or 40 reads late is taken.
TEST(SessionReplyAttempts, ALateReplyIsTakenOnlyWithinTheAttemptsAllowed) {
    EXPECT_EQ(EngineTiming{}.commandReplyAttempts, 15);
    EXPECT_EQ(EngineTiming{}.finalReplyAttempts, 20);
    for (const auto& [lateAccept, allowed] :
         {std::pair{true, 15}, {true, 40}, {false, 20}, {false, 60}}) {
        EngineTiming timing = fastTiming();
        (lateAccept ? timing.commandReplyAttempts : timing.finalReplyAttempts) = allowed;
        ScriptedRig rig(timing);
        std::atomic<int> lateAt{0};
        rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
            if (w == "upload setting\r" && !lateAccept) line.feed(":OK:\r\n\x04");  // empty file
            if (w == (lateAccept ? std::string("upload setting\r") : std::string(1, kAck))) {
                lateAt = line.readCalls() + (lateAccept ? 30 : 40);
            }
        });
        rig.line->onRead([&](ScriptedLine& line, int number) {
            if (number == lateAt) line.feed(lateAccept ? ":OK:\r\n\x04:OK:\r\n" : ":OK:\r\n");
        });
        TempDir dir;
        rig.worker->setFileName(dir.file("setting.bak"));
        rig.worker->setCommand(cmdDownload);
        rig.worker->queueCommandLine("upload setting");
        ASSERT_TRUE(rig.recorder.waitForResults(1, 30s));
        EXPECT_EQ(rig.recorder.results().front(), allowed > 20 ? resTransferOk : resTransferError)
            << lateAccept << " " << allowed;
    }
}

TEST_F(Session, ErrorInTheMiddleOfTheReplyEndsTheWaitAtOnce) {
    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "upload playlist\r") {
            line.feed("no such file :ERROR: 2\r\n:OK:\r\n");
        }
    });
    start(cmdDownload, dir.file("playlist.bak"), "upload playlist");
    EXPECT_EQ(onlyResult(), resTransferError);
    EXPECT_EQ(rig.line->written(), "upload playlist\r");  // no 'C': no transfer began
    EXPECT_EQ(rig.recorder.texts(), std::vector<std::string>{"no such file :ERROR: 2"});
    const TransferOutcome outcome = rig.worker->transferOutcome();
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.result, resTransferError);
    EXPECT_EQ(outcome.stage, TransferStage::commandReply);
    EXPECT_EQ(outcome.commandLine, "upload playlist");
    EXPECT_EQ(outcome.refusedLine, "no such file :ERROR: 2");
}

TEST_F(Session, MissingFileNameStopsAfterTheDeviceAccepted) {
    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            line.feed(":OK:\r\n");
        }
    });
    start(cmdUpload, "", "download flashimage");
    EXPECT_EQ(onlyResult(), resStopped);
    EXPECT_EQ(rig.line->written(), "download flashimage\r");
}

TEST_F(Session, FinalReplyMissingOrRefusedGivesTransferError) {
    for (const std::string& finalReply : {std::string(), std::string("write failed :ERROR:\r\n")}) {
        ScriptedRig local;
        std::unique_ptr<ReceivingDevice> device;
        local.line->onWrite([&](ScriptedLine& line, const std::string& w) {
            if (w == "download flashimage\r") {
                device = std::make_unique<ReceivingDevice>(line);
                device->answerEot = [finalReply](int) { return std::string(1, kAck) + finalReply; };
                line.feed(":OK:\r\nC");
            }
        });
        const std::string path = dir.file("fw.pkg");
        writeFile(path, "tiny");
        local.worker->setFileName(path);
        local.worker->setCommand(cmdUpload);
        local.worker->queueCommandLine("download flashimage");
        ASSERT_TRUE(local.recorder.waitForResults(1, 30s));
        ASSERT_TRUE(local.worker->waitDispatched(1));
        EXPECT_EQ(local.recorder.results(), std::vector<std::int32_t>{resTransferError});
        EXPECT_EQ(device->eots(), 1);  // the block transfer itself went through
        const TransferOutcome outcome = local.worker->transferOutcome();
        EXPECT_EQ(outcome.stage, TransferStage::finalReply);
        EXPECT_EQ(outcome.refusedLine, finalReply.empty() ? "" : "write failed :ERROR:");
        EXPECT_EQ(outcome.packets, 1u);
        EXPECT_EQ(outcome.bytes, 4u);
        local.worker.reset();
    }
}

TEST_F(Session, CancelWhileWaitingForTheCommandLinePostsNoResult) {
    rig.worker->setCommand(cmdUpload);
    rig.line->feed("boot message\r\n");
    ASSERT_TRUE(rig.recorder.waitUntil([](const Recorder& r) { return r.texts().size() == 1; }));
    rig.worker->cancel();
    rig.worker->setCommand(cmdIdle);
    ASSERT_TRUE(rig.worker->waitDispatched(2));
    EXPECT_EQ(rig.worker->dispatched()[0].second, resStopped);
    EXPECT_TRUE(rig.recorder.results().empty());
    EXPECT_EQ(rig.recorder.texts(), std::vector<std::string>{"boot message"});
    EXPECT_EQ(rig.line->written(), "");
}

TEST_F(Session, LineQueuedEarlierIsTakenAsTheCommandLine) {
    ASSERT_TRUE(rig.worker->queueCommandLine("upload playlist"));
    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "upload playlist\r") {
            line.feed(":ERROR:\r\n");
        }
    });
    rig.worker->setFileName(dir.file("x"));
    rig.worker->setCommand(cmdUpload);
    EXPECT_FALSE(rig.worker->queueCommandLine("download flashimage"));  // the frame's line
    EXPECT_EQ(onlyResult(), resTransferError);
    EXPECT_EQ(rig.line->written(), "upload playlist\r");
}

TEST_F(Session, NotActiveAtTheStartPostsStopped) {
    std::int32_t result = -1;
    rig.worker->onWorker([&] {
        rig.worker->cancel();
        result = rig.worker->runDownload();
    });
    EXPECT_EQ(result, resStopped);
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resStopped});
}

TEST_F(Session, HangUpDuringUploadPostsTransferErrorAtOnce) {
    const std::string path = dir.file("fw.pkg");
    writeFile(path, patternBytes(8000));
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            receiving = std::make_unique<ReceivingDevice>(line);
            receiving->answerPacket = [&line](const ReceivedPacket& p, int) {
                if (p.number == 3) {
                    line.hangUp();
                }
                return std::string(1, kAck);
            };
            line.feed(":OK:\r\nC");
        }
    });
    start(cmdUpload, path, "download flashimage");
    EXPECT_EQ(onlyResult(), resTransferError);
    EXPECT_EQ(receiving->packets().size(), 3u);
    const auto texts = rig.recorder.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts.back().find("/dev/scripted0"), std::string::npos);
}

TEST_F(Session, HangUpWhileWaitingForTheCommandLinePostsTransferError) {
    rig.worker->setCommand(cmdDownload);
    ASSERT_TRUE(eventually([&] { return rig.line->readCalls() > 0; }));
    rig.line->hangUp();
    EXPECT_EQ(onlyResult(), resTransferError);
}

TEST_F(Session, CancelDuringTheBlockTransferStopsSendingAndEndsTheSession) {
    const std::string path = dir.file("fw.pkg");
    writeFile(path, patternBytes(8000));
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w == "download flashimage\r") {
            receiving = std::make_unique<ReceivingDevice>(line);
            receiving->answerPacket = [&](const ReceivedPacket& p, int) {
                if (p.number == 2) {
                    rig.worker->cancel();
                }
                return std::string(1, kAck);
            };
            line.feed(":OK:\r\nC");
        }
    });
    start(cmdUpload, path, "download flashimage");
    // The device hears the cancel; its confirmation is not waited for.
    EXPECT_EQ(onlyResult(), resTransferError);
    EXPECT_EQ(receiving->packets().size(), 2u);
    EXPECT_EQ(receiving->eots(), 0);
    EXPECT_EQ(receiving->cans(), 3);
}

// The owner may give the next command's file name while a transfer still waits for
// the device's ":OK:": the transfer keeps the file it was given with and, once
// cancelled, opens none at all (opening would create or empty it).
TEST(SessionFileName, IsTheCommandsOwnAndACancelledSessionOpensNoFile) {
    TempDir dir;
    const std::string own = dir.file("setting.bak");
    const std::string next = dir.file("fw.pkg");
    const std::string content = patternBytes(1500);
    std::string padded = content;
    padded.resize(2048, 0x1A);
    for (bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled ? "cancelled" : "going on");
        std::filesystem::remove(own);
        writeFile(next, "the package just chosen");
        ScriptedRig rig;
        std::unique_ptr<SendingDevice> sending;
        bool lineSent = false;  // both hooks run on the worker thread
        rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
            if (w == "upload setting\r") {
                sending = std::make_unique<SendingDevice>(line, fileFrames(content));
                sending->afterEnd = "\r\n:OK:\r\n";
                lineSent = true;
            }
        });
        rig.line->onRead([&](ScriptedLine& line, int) {
            if (std::exchange(lineSent, false)) {  // the read that brings the reply
                if (cancelled) {
                    rig.worker->cancel();
                }
                rig.worker->setFileName(next);
                line.feed(":OK:\r\n");
            }
        });
        rig.worker->setFileName(own);
        rig.worker->setCommand(cmdDownload);
        rig.worker->queueCommandLine("upload setting");
        ASSERT_TRUE(rig.worker->waitDispatched(1, 30s));
        EXPECT_EQ(readFile(next), "the package just chosen");
        EXPECT_EQ(std::filesystem::exists(own), !cancelled);
        if (!cancelled) {
            EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resTransferOk});
            EXPECT_EQ(readFile(own), padded);
        }
    }
}

// Whatever the device answers, a session ends with one of its results, never touches
// another file and never hangs.
TEST(SessionBadInput, RandomDeviceEndsEverySessionWithOneOfItsResults) {
    TempDir dir;
    const std::string local = dir.file("fw.pkg");
    int transfers = 0;  // sessions whose command line the device accepted
    for (unsigned seed = 1; seed <= 12; ++seed) {
        for (std::int32_t command : {cmdUpload, cmdDownload}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " command " + std::to_string(command));
            writeFile(local, patternBytes(3000, seed));
            ScriptedRig rig(scaledTiming(200));
            std::mt19937 random(seed * 31 + static_cast<unsigned>(command));
            rig.line->onWrite([&random, &transfers](ScriptedLine& line, const std::string& w) {
                static const char* pieces[] = {":OK:\r\n", "C",    "\x06",      "\x15", "\x18",
                                               "\x04",     "\x02", ":ERROR:\r", "\r\n"};
                std::string answer;
                if (w.back() == '\r' && random() % 4 != 0) {
                    answer = ":OK:\r\n";  // accept the command line most of the time
                    ++transfers;
                }
                const int count = static_cast<int>(random() % 6);
                for (int i = 0; i < count; ++i) {
                    if (random() % 3 == 0) {
                        answer += pieces[random() % std::size(pieces)];
                    } else {
                        answer.append(random() % 40, static_cast<char>(random()));
                    }
                }
                line.feed(answer);
            });
            rig.worker->setFileName(local);
            rig.worker->setCommand(command);
            rig.worker->queueCommandLine(command == cmdUpload ? "download flashimage"
                                                              : "upload setting");
            ASSERT_TRUE(rig.worker->waitDispatched(1, std::chrono::seconds(60)));
            const auto results = rig.recorder.results();
            ASSERT_EQ(results.size(), 1u);
            const std::vector<std::int32_t> allowed =
                command == cmdUpload ? std::vector<std::int32_t>{2, 5, 7, 8, 9, 10, 11}
                                     : std::vector<std::int32_t>{2, 5, 6, 7, 8, 9, 10};
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), results[0]), allowed.end())
                << results[0];
            rig.worker.reset();
            rig.line->onWrite(nullptr);
        }
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_GT(transfers, 6);
}

TEST(TransferEnd, TheReasonIsFollowedByFailedChecksAndWhatTheDeviceSentInstead) {
    TransferOutcome outcome;
    outcome.failedChecks = 3;
    outcome.inputSinceProgress = {40, 0, 40};
    EXPECT_EQ(describeTransferEnd("The device stopped sending.", outcome),
              "The device stopped sending. 3 packets failed their check. The device sent 40 line "
              "feeds and nothing else.");
    outcome = {};
    outcome.inputSinceProgress = {900, 0, 2};
    EXPECT_EQ(describeTransferEnd("", outcome), "The device sent 900 bytes without a line end.");
    outcome.inputSinceProgress.lineEnds = 3;  // lines: the device's own words, shown already
    EXPECT_EQ(describeTransferEnd("", outcome), "");
}

}  // namespace
}  // namespace tidewell::testing
