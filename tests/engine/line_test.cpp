// The byte and line layer, detection, log-in and the terminal loop over a scripted line.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <sstream>
#include <thread>

#include "rig.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> lines(std::initializer_list<const char*> items) {
    return {items.begin(), items.end()};
}

// --- readLine / readReply ----------------------------------------------------------

TEST(LineLayer, LineEndsAtCarriageReturnAndTheLineFeedIsDroppedByTheNextRead) {
    ScriptedRig rig;
    rig.line->feed("abc\r\n");
    std::string first, second;
    bool gotFirst = false, gotSecond = false;
    rig.worker->onWorker([&] {
        gotFirst = rig.worker->readLine(first, 10ms);
        rig.line->feed("def\r");
        gotSecond = rig.worker->readLine(second, 10ms);
    });
    EXPECT_TRUE(gotFirst);
    EXPECT_EQ(first, "abc");
    EXPECT_TRUE(gotSecond);
    EXPECT_EQ(second, "def");
    EXPECT_EQ(rig.recorder.texts(), lines({"abc", "def"}));
}

TEST(LineLayer, LineSplitOverManyReadsIsAssembled) {
    ScriptedRig rig;
    rig.line->setMaxBytesPerRead(1);
    rig.line->feed("hello world\r");
    std::string line;
    bool got = false;
    rig.worker->onWorker([&] { got = rig.worker->readLine(line, 10ms); });
    EXPECT_TRUE(got);
    EXPECT_EQ(line, "hello world");
    EXPECT_EQ(rig.line->readCalls(), 12);  // one per byte, none after the carriage return
}

TEST(LineLayer, UnfinishedLineFailsAfterSilenceAndIsCompletedLater) {
    ScriptedRig rig;
    rig.line->feed("par");
    std::string line;
    bool first = true, second = false;
    rig.worker->onWorker([&] {
        first = rig.worker->readLine(line, 10ms);
        EXPECT_EQ(line, "");
        rig.line->feed("tial\r");
        second = rig.worker->readLine(line, 10ms);
    });
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(line, "partial");
    EXPECT_EQ(rig.recorder.texts(), lines({"partial"}));  // the failed attempt posted nothing
}

TEST(LineLayer, EmptyLineIsReturnedAndPosted) {
    ScriptedRig rig;
    rig.line->feed("\r\n\r");
    std::string a = "x", b = "x";
    bool gotA = false, gotB = false;
    rig.worker->onWorker([&] {
        gotA = rig.worker->readLine(a, 10ms);
        gotB = rig.worker->readLine(b, 10ms);
    });
    EXPECT_TRUE(gotA);
    EXPECT_TRUE(gotB);
    EXPECT_EQ(a, "");
    EXPECT_EQ(b, "");
    EXPECT_EQ(rig.recorder.texts(), lines({"", ""}));
}

TEST(LineLayer, ReplyNeedsOkOrErrorAnywhereInTheLine) {
    ScriptedRig rig;
    rig.line->feed("file saved :OK:\rbad :ERROR: here\rjust text\r");
    bool ok = false, error = false, plain = true, silent = true;
    std::string line;
    rig.worker->onWorker([&] {
        ok = rig.worker->readReply(line, 10ms);
        error = rig.worker->readReply(line, 10ms);
        plain = rig.worker->readReply(line, 10ms);
        silent = rig.worker->readReply(line, 10ms);
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(error);
    EXPECT_FALSE(plain);
    EXPECT_EQ(line, "");
    EXPECT_FALSE(silent);
}

TEST(LineLayer, OkOutranksErrorInTheMarkOfALine) {
    using protocol::ReplyMark;
    EXPECT_EQ(protocol::replyMark("done :OK: 3"), ReplyMark::ok);
    EXPECT_EQ(protocol::replyMark("x:ERROR:y"), ReplyMark::error);
    EXPECT_EQ(protocol::replyMark(":OK: and :ERROR:"), ReplyMark::ok);
    EXPECT_EQ(protocol::replyMark(":ok:"), ReplyMark::none);
}

TEST(LineLayer, FloodWithoutCarriageReturnIsCutIntoBoundedLines) {
    ScriptedRig rig;
    const std::size_t total = 3 * CTidewellThread::kMaxLineLength + 100;
    rig.line->feed(std::string(total, 'x') + "\r");
    std::vector<std::string> got;
    rig.worker->onWorker([&] {
        std::string line;
        while (rig.worker->readLine(line, 10ms)) {
            got.push_back(line);
        }
    });
    std::size_t sum = 0;
    for (const auto& l : got) {
        EXPECT_LE(l.size(), CTidewellThread::kMaxLineLength);
        sum += l.size();
    }
    EXPECT_EQ(sum, total);  // nothing lost, nothing invented
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got.back().size(), 100u);
}

// Each call takes one line but reads up to 16 bytes: the buffer must not drop lines to stay
// bounded.
TEST(LineLayer, FloodOfShortLinesLosesNone) {
    ScriptedRig rig;
    // Each line behind the first in the buffer costs one silent read wait: spent at once here.
    rig.line->setInstantSilence(true);
    const int lines = 10000;
    std::string flood;
    for (int i = 0; i < lines; ++i) flood += std::to_string(i % 10) + "\r";
    rig.line->feed(flood);
    int got = 0;
    std::size_t largest = 0;
    rig.worker->onWorker([&] {
        std::string line;
        while (rig.worker->readLine(line, 10ms) && line == std::to_string(got % 10)) {
            ++got;
            largest = std::max(largest, rig.worker->receiveBuffer().size());
        }
    });
    EXPECT_EQ(got, lines);
    EXPECT_LE(largest, CTidewellThread::kRxBufferLimit);
}

// --- bytes ---------------------------------------------------------------------------

TEST(ByteLayer, ReadByteTakesBytesInOrderAndFailsOnSilence) {
    ScriptedRig rig;
    rig.line->feed("\x01\x02");
    std::vector<int> got;
    bool last = true;
    rig.worker->onWorker([&] {
        std::uint8_t b = 0;
        while (got.size() < 2 && rig.worker->readByte(b, 10ms)) {
            got.push_back(b);
        }
        last = rig.worker->readByte(b, 10ms);
        EXPECT_EQ(b, 0);
    });
    EXPECT_EQ(got, (std::vector<int>{1, 2}));
    EXPECT_FALSE(last);
}

TEST(ByteLayer, FlushInputDiscardsUntilSilence) {
    ScriptedRig rig;
    rig.line->feed(std::string(100, 'g'));
    bool after = true;
    rig.worker->onWorker([&] {
        rig.worker->flushInput();
        std::uint8_t b;
        after = rig.worker->readByte(b, 10ms);
    });
    EXPECT_FALSE(after);
    EXPECT_EQ(rig.line->unreadBytes(), 0u);
}

TEST(ByteLayer, SendOperationsWriteExactlyTheirBytes) {
    ScriptedRig rig;
    rig.worker->onWorker([&] {
        rig.worker->sendByte(0x18);
        rig.worker->sendString("ab");
        rig.worker->sendLine("cmd x");
    });
    EXPECT_EQ(rig.line->written(), std::string("\x18"
                                               "abcmd x\r"));
}

TEST(ByteLayer, PendingCompletionDeliversTheSameBytes) {
    ScriptedRig rig;
    rig.line->setPending(true);
    rig.line->feed("over\r");
    std::string line;
    bool got = false;
    rig.worker->onWorker([&] {
        got = rig.worker->readLine(line, 10ms);
        rig.worker->sendLine("pending write");
    });
    EXPECT_TRUE(got);
    EXPECT_EQ(line, "over");
    EXPECT_EQ(rig.line->written(), "pending write\r");
}

// --- diagnostics ---------------------------------------------------------------------

// A read of what waits, then a write of "x" (the write alone where read is false).
TEST(Diagnostics, TracesOfReadsAndWritesHaveTheFixedLines) {
    const std::string kHangUpCode = std::to_string(kHangUpError);
    struct Case {
        const char* name;
        bool pending;
        bool hungUp;
        const char* feed;
        bool read;
        std::string trace;
    };
    const Case cases[] = {
        {"completed at once", false, false, "AB", true,
         "CTidewellThread::readWaitingBytes(): readFiles() success, 2 bytes read.\n"
         "CTidewellThread::readWaitingBytes(): buffer={ 0x41 42  }\n"
         "\n"
         "\n"},
        {"pending", true, false, "\x0d", true,
         "CTidewellThread::readWaitingBytes() -> GetOverlappedResults() success, "
         "bytes_read = 0, overlap_transfer = 1\n"
         "CTidewellThread::readWaitingBytes(): buffer={ 0x0D  }\n"
         "\n"
         "CTidewellThread::writeBlock() -> GetOverlappedResults() success.\n"
         "\n"},
        // The write after a lost device is not tried.
        {"read error", false, true, "", true,
         "CTidewellThread::readWaitingBytes(): Unexpected readFiles() error " + kHangUpCode +
             "\n"
             "CTidewellThread::readWaitingBytes(): buffer={ 0x }\n"
             "\n"
             "\n"},
        {"write error", false, true, "", false,
         "CTidewellThread::writeBlock() -> writeFile() Unexpected error " + kHangUpCode +
             "\n"
             "\n"},
    };
    for (const Case& c : cases) {
        std::ostringstream log;
        ScriptedRig rig(fastTiming(), &log);
        rig.line->setPending(c.pending);
        rig.line->feed(c.feed);
        if (c.hungUp) {
            rig.line->hangUp();
        }
        rig.worker->onWorker([&] {
            if (c.read) {
                rig.worker->readWaitingBytes(10ms);
            }
            rig.worker->sendString("x");
        });
        EXPECT_EQ(log.str(), c.trace) << c.name;
    }
}

// --- detection -------------------------------------------------------------------------

TEST(Detection, PromptSplitOverAttemptsIsFoundAndStaysInTheBuffer) {
    ScriptedRig rig;
    int attempt = 0;
    rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
        if (w != "   ") {
            return;
        }
        ++attempt;
        if (attempt == 1) {
            line.feed("ab:LOG");
        } else if (attempt == 4) {
            line.feed("IN:");
        }
    });
    std::int32_t result = 0;
    std::string rest;
    rig.worker->onWorker([&] {
        result = rig.worker->detectDevice();
        std::uint8_t b;
        while (rig.worker->readByte(b, 5ms)) {
            rest.push_back(static_cast<char>(b));
        }
    });
    EXPECT_EQ(result, resDetected);
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
    EXPECT_EQ(attempt, 4);
    EXPECT_EQ(rest, ":LOGIN:");
    EXPECT_EQ(rig.line->written(), std::string(4 * 3, ' '));
}

TEST(Detection, FalseStartOfThePromptIsSkipped) {
    ScriptedRig rig;
    int attempt = 0;
    rig.line->onWrite([&](ScriptedLine& line, const std::string&) {
        ++attempt;
        if (attempt == 1) {
            line.feed(":LOX:L");
        } else if (attempt == 3) {
            line.feed("OGIN:");
        }
    });
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
}

TEST(Detection, NoiseFloodThenPrompt) {
    ScriptedRig rig;
    std::mt19937 random(12345);
    std::string noise;
    for (int i = 0; i < 3000; ++i) {
        const char choices[] = ":LOGIN:xyz\r\n\x18\x02";
        noise.push_back(choices[random() % (sizeof choices - 1)]);
    }
    noise.erase(std::remove(noise.begin(), noise.end(), 'N'), noise.end());  // no early prompt
    rig.line->feed(noise + ":LOGIN:");
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1, 60s));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
}

// What is waiting is read in the same attempt: a long boot log costs no attempt per read.
TEST(Detection, ALongBootLogBeforeThePromptCostsFewAttempts) {
    ScriptedRig rig;
    std::string log;
    while (log.size() < 60000) {
        log += "boot " + std::to_string(log.size()) + " ok\r\n";
    }
    rig.line->feed(log + ":LOGIN:");
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1, 60s));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
    EXPECT_LE(rig.line->writeCalls(), 8) << "one wake-up per 8 KiB waiting, not per 16 bytes";
    const auto waits = rig.line->readWaits();
    const auto detectWait = static_cast<DWORD>(fastTiming().detectReadWait.count());
    EXPECT_EQ(waits, std::vector<DWORD>(waits.size(), detectWait));
}

TEST(Detection, CancelEndsItWithoutAResult) {
    ScriptedRig rig;
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.line->waitWritten([](const std::string& w) { return w.size() >= 30; }));
    rig.worker->cancel();
    rig.worker->setCommand(cmdIdle);  // returns once detection has ended
    ASSERT_TRUE(rig.worker->waitDispatched(2));
    EXPECT_EQ(rig.worker->dispatched()[0],
              std::make_pair(std::int32_t{cmdDetect}, std::int32_t{resStopped}));
    EXPECT_EQ(rig.recorder.count(), 0u);
}

// --- log-in ----------------------------------------------------------------------------

TEST(Login, SendsTheWordReadsFourLinesAndReportsLoggedIn) {
    ScriptedRig rig;
    rig.line->feed(":LOGIN:");  // left by detection; log-in drops it
    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "pivot\r") {
            line.feed("pivot\r\nWelcome\r\n:OK:\r\nready\r\n");
        }
    });
    std::int32_t result = 0;
    rig.worker->onWorker([&] {
        std::uint8_t b;
        rig.worker->readByte(b, 5ms);  // the stale bytes are now in the receive buffer
        result = rig.worker->login();
    });
    EXPECT_EQ(result, resLoggedIn);
    EXPECT_EQ(rig.line->written(), "\r\npivot\r");
    EXPECT_EQ(rig.recorder.texts(), lines({"pivot", "Welcome", ":OK:", "ready"}));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resLoggedIn});
    const LoginOutcome login = rig.worker->loginOutcome();
    EXPECT_EQ(login.lines, lines({"pivot", "Welcome", ":OK:"}));  // up to the answer
    EXPECT_EQ(login.mark, protocol::ReplyMark::ok);
    EXPECT_EQ(login.answer, ":OK:");
}

TEST(Login, SilentDeviceIsNotLoggedInAfterFourWaitsAndACommandsReplyWait) {
    ScriptedRig rig;
    rig.worker->setCommand(cmdLogin);
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resLoginFailed});
    EXPECT_TRUE(rig.recorder.texts().empty());
    const auto line = static_cast<DWORD>(fastTiming().lineWait.count());
    const auto reads = static_cast<std::size_t>(4 + fastTiming().commandReplyAttempts);
    EXPECT_EQ(rig.line->readWaits(), std::vector<DWORD>(reads, line));
}

// A caller that bounds the wait itself may let an answer come later than the reads of
// the default allow (four, then a command's reply attempts).
TEST(Login, AnAnswerAfterTheAttemptsIsTakenOnlyWhenTheCallerWaitsLonger) {
    for (const bool waitLonger : {false, true}) {
        EngineTiming timing = fastTiming();
        if (waitLonger) timing.loginReplyWait = 60 * timing.lineWait;
        ScriptedRig rig(timing);
        std::atomic<int> lateAt{0};
        rig.line->onWrite([&](ScriptedLine& line, const std::string& w) {
            if (w == "pivot\r") lateAt = line.readCalls() + 30;
        });
        rig.line->onRead([&](ScriptedLine& line, int number) {
            if (number == lateAt) line.feed("pivot\r\n:OK:\r\n");
        });
        rig.worker->setCommand(cmdLogin);
        ASSERT_TRUE(rig.recorder.waitForResults(1));
        EXPECT_EQ(rig.recorder.results().front(), waitLonger ? resLoggedIn : resLoginFailed);
        EXPECT_EQ(rig.worker->loginOutcome().mark,
                  waitLonger ? protocol::ReplyMark::ok : protocol::ReplyMark::none);
    }
}

// --- terminal --------------------------------------------------------------------------

TEST(Terminal, SendsQueuedLinesPostsRepliesAndEndsOnCancelWithoutResult) {
    ScriptedRig rig;
    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "ls\r") {
            line.feed("setting\r\nplaylist\r\n:OK:\r\n");
        }
    });
    ASSERT_TRUE(rig.worker->queueCommandLine("ls"));  // queued before the loop runs
    rig.worker->setCommand(cmdTerminal);
    ASSERT_TRUE(rig.recorder.waitUntil([](const Recorder& r) { return r.texts().size() >= 3; }));
    rig.worker->cancel();
    rig.worker->setCommand(cmdIdle);
    EXPECT_EQ(rig.recorder.texts(), lines({"setting", "playlist", ":OK:"}));
    EXPECT_TRUE(rig.recorder.results().empty());
    EXPECT_EQ(rig.line->written(), "ls\r");
}

// --- hang-up ---------------------------------------------------------------------------

TEST(HangUp, EachCommandEndsByItselfNamingTheDeviceAndDetectionReportsTheLoss) {
    for (std::int32_t command : {cmdTerminal, cmdDetect}) {
        ScriptedRig rig;
        rig.worker->setCommand(command);
        ASSERT_TRUE(rig.line->waitWritten([](const std::string&) { return true; }));
        rig.line->hangUp();
        ASSERT_TRUE(rig.worker->waitDispatched(1)) << command;
        // The terminal loop has nobody waiting for a result; detection has a page.
        EXPECT_EQ(rig.recorder.results(), command == cmdDetect
                                              ? std::vector<std::int32_t>{resDeviceLost}
                                              : std::vector<std::int32_t>{});
        const auto texts = rig.recorder.texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_NE(texts[0].find("/dev/scripted0"), std::string::npos) << texts[0];
        // The system's words for the code: "Input/output error (errno 5)" on Linux.
        EXPECT_NE(texts[0].find(serialErrorText(kHangUpError)), std::string::npos) << texts[0];
        EXPECT_EQ(rig.worker->linkError(), texts[0]);
    }
}

TEST(HangUp, LoginOnALostDeviceReportsTheLossNotSuccess) {
    ScriptedRig rig;
    EXPECT_EQ(rig.worker->linkError(), "");
    rig.line->hangUp();
    rig.worker->setCommand(cmdLogin);
    ASSERT_TRUE(rig.worker->waitDispatched(1));
    EXPECT_EQ(rig.worker->dispatched()[0].second, resDeviceLost);
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDeviceLost});
    EXPECT_EQ(rig.line->readCalls(), 0);  // the first write found it gone: no reads at all
}

// --- a port that takes no data ---------------------------------------------------------

TEST(StuckWrite, EachCommandEndsWithinItsWriteDeadlineNamingThePortAndShutdownReturns) {
    for (std::int32_t command : {cmdDetect, cmdLogin, cmdUpload, cmdTerminal}) {
        SCOPED_TRACE(command);
        ScriptedRig rig;
        rig.line->stallWrites(true);
        rig.worker->setFileName("/nonexistent/fw.pkg");
        ASSERT_TRUE(rig.worker->queueCommandLine("download flashimage"));
        rig.worker->setCommand(command);
        if (command == cmdTerminal) {
            ASSERT_TRUE(eventually([&] { return rig.line->writeCalls() == 1; }));
            rig.worker.reset();  // must not wait for the port for good
            continue;
        }
        ASSERT_TRUE(rig.worker->waitDispatched(1, 30s));
        EXPECT_EQ(
            rig.recorder.results(),
            std::vector<std::int32_t>{command == cmdUpload ? resTransferError : resDeviceLost});
        const std::string error = rig.worker->linkError();
        EXPECT_EQ(error.rfind("Error: The port /dev/scripted0 takes no data", 0), 0u) << error;
        EXPECT_EQ(rig.recorder.texts().back(), error);
        EXPECT_EQ(rig.line->writeCalls(), 1) << "no write after the port was found stuck";
        if (command == cmdUpload) {
            EXPECT_TRUE(rig.worker->transferOutcome().stoppedTakingData);
        }
    }
}

}  // namespace
}  // namespace tidewell::testing
