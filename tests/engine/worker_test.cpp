// The worker's thread, mailbox, run loop, cancel, shutdown and notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "rig.h"
#include "tidewell/engine/tidewell_thread.h"

namespace tidewell::testing {
namespace {

using namespace std::chrono_literals;

// --- CBaseThread --------------------------------------------------------------------

class CountingThread : public CBaseThread {
  public:
    ~CountingThread() override { stop(); }
    std::atomic<int> loops{0};
    std::atomic<bool> entered{false};
    bool throwInBody = false;
    using CBaseThread::notify;

  protected:
    std::uint32_t run() override {
        entered = true;
        if (throwInBody) {
            throw std::runtime_error("body failed");
        }
        while (running) {
            ++loops;
            std::this_thread::sleep_for(1ms);
        }
        return 7;
    }
};

TEST(BaseThread, NewThreadIsNotStartedAndNotifiesNothing) {
    CountingThread thread;
    EXPECT_FALSE(thread.isStarted());
    Recorder recorder;
    recorder.attachTo(thread);
    EXPECT_FALSE(thread.notify(notifyProgress, 5));  // not running
    EXPECT_EQ(recorder.count(), 0u);
}

TEST(BaseThread, StartTwiceReturnsFalseAndKeepsTheRunningThread) {
    CountingThread thread;
    ASSERT_TRUE(thread.start(true));
    EXPECT_TRUE(thread.isStarted());
    EXPECT_FALSE(thread.start(true));
    EXPECT_TRUE(thread.isStarted());
    const int before = thread.loops;
    EXPECT_TRUE(eventually([&] { return thread.loops > before; }));
    EXPECT_TRUE(thread.stop());
    EXPECT_FALSE(thread.isStarted());
}

TEST(BaseThread, HeldBackThreadRunsOnlyAfterResume) {
    CountingThread thread;
    ASSERT_TRUE(thread.start(false));
    EXPECT_TRUE(thread.isStarted());
    EXPECT_FALSE(thread.entered);
    EXPECT_TRUE(thread.resume());
    EXPECT_TRUE(eventually([&] { return thread.loops > 0; }));
}

TEST(BaseThread, StopOfAHeldBackThreadReturns) {
    CountingThread thread;
    ASSERT_TRUE(thread.start(false));
    EXPECT_TRUE(thread.stop());
    EXPECT_FALSE(thread.isStarted());
    EXPECT_EQ(thread.loops, 0);  // the body saw running false at once
}

TEST(BaseThread, ExceptionInTheBodyStillLetsStopReturn) {
    CountingThread thread;
    thread.throwInBody = true;
    ASSERT_TRUE(thread.start(true));
    EXPECT_TRUE(eventually([&] { return thread.entered.load(); }));
    EXPECT_TRUE(thread.stop());
}

TEST(BaseThread, NotifyHandsOverContextMessageKindAndValue) {
    CountingThread thread;
    Recorder recorder;
    recorder.attachTo(thread, 4242);
    ASSERT_TRUE(thread.start(true));
    EXPECT_TRUE(thread.notify(notifyProgress, 77));
    const auto notes = recorder.all();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].message, 4242u);
    EXPECT_EQ(notes[0].kind, notifyProgress);
    EXPECT_EQ(notes[0].value, 77);

    thread.setNotifier(nullptr, 0, 0);
    EXPECT_FALSE(thread.notify(notifyProgress, 78));
    EXPECT_EQ(recorder.count(), 1u);
}

// --- CTidewellThread: mailbox, run loop, cancel ------------------------------------------

TEST(WorkerMailbox, QueueCommandLineIsRefusedWhileALineIsPendingOrTheWorkerIsNotRunning) {
    TSerie* noPort = nullptr;
    ProbeWorker idle(noPort, cmdIdle);
    EXPECT_FALSE(idle.queueCommandLine("ls"));  // never started

    ScriptedRig rig;
    EXPECT_TRUE(rig.worker->queueCommandLine("first"));
    EXPECT_FALSE(rig.worker->queueCommandLine("second"));
    // The pending line is the first one: the terminal loop sends exactly it.
    rig.worker->setCommand(cmdTerminal);
    ASSERT_TRUE(rig.line->waitWritten([](const std::string& w) { return w == "first\r"; }));
    EXPECT_TRUE(eventually([&] { return rig.worker->queueCommandLine("third"); }));
    ASSERT_TRUE(rig.line->waitWritten([](const std::string& w) { return w == "first\rthird\r"; }));

    rig.worker->shutdown();
    EXPECT_FALSE(rig.worker->queueCommandLine("after"));
}

TEST(WorkerMailbox, SetCommandWaitsForTheRunningCommandAndReturnsSoonAfterCancel) {
    ScriptedRig rig;
    rig.line->feed("boot\r\n");
    rig.worker->setCommand(cmdTerminal, 7);
    ASSERT_TRUE(eventually([&] { return rig.line->readCalls() > 0; }));

    std::atomic<bool> returned{false};
    auto caller = std::async(std::launch::async, [&] {
        rig.worker->setCommand(cmdDetect, 8);
        returned = true;
    });
    // While the terminal loop keeps reading, the caller stays blocked.
    const int reads = rig.line->readCalls();
    ASSERT_TRUE(eventually([&] { return rig.line->readCalls() >= reads + 5; }));
    EXPECT_FALSE(returned);

    rig.line->onWrite([](ScriptedLine& line, const std::string& w) {
        if (w == "   ") {
            line.feed(":LOGIN:");
        }
    });
    rig.worker->cancel();
    ASSERT_EQ(caller.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(returned);
    // The new command runs (the cancel was cleared when it started) and posts its
    // result; every notification carries the serial given with its command.
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    const auto notes = rig.recorder.all();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].text, "boot");
    EXPECT_EQ(notes[0].serial, 7u);
    EXPECT_EQ(notes[1].value, resDetected);
    EXPECT_EQ(notes[1].serial, 8u);
}

TEST(WorkerMailbox, CommandsWithoutHandlerPostNothingAndLeaveTheWorkerWaiting) {
    ScriptedRig rig;
    const std::int32_t codes[] = {cmdNone, cmdIdle, cmdLoggedIn, 99, -5};
    std::size_t n = 0;
    for (std::int32_t code : codes) {
        EXPECT_EQ(rig.worker->setCommand(code), code);
        ASSERT_TRUE(rig.worker->waitDispatched(++n));
    }
    const auto seen = rig.worker->dispatched();
    ASSERT_EQ(seen.size(), std::size(codes));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, codes[i]);
    }
    EXPECT_EQ(rig.recorder.count(), 0u);
    EXPECT_EQ(rig.line->written(), "");
    EXPECT_EQ(rig.line->readCalls(), 0);

    // Still waiting for commands: the next one runs.
    rig.line->feed(":LOGIN:");
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
}

TEST(WorkerMailbox, CancelGivenWhileWaitingDoesNotStopTheNextCommand) {
    ScriptedRig rig;
    rig.worker->cancel();
    rig.line->feed("xx:LOGIN:");
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
}

TEST(WorkerLifetime, StartOnAStartedWorkerReturnsFalseAndItKeepsWorking) {
    ScriptedRig rig;
    EXPECT_FALSE(rig.worker->start(true));
    EXPECT_FALSE(rig.worker->start(false));
    EXPECT_TRUE(rig.worker->isStarted());
    rig.line->feed(":LOGIN:");
    rig.worker->setCommand(cmdDetect);
    ASSERT_TRUE(rig.recorder.waitForResults(1));
    EXPECT_EQ(rig.recorder.results(), std::vector<std::int32_t>{resDetected});
}

TEST(WorkerLifetime, DeletingAnIdleWorkerReturnsPromptly) {
    ScriptedRig rig;
    ASSERT_TRUE(rig.worker->isStarted());
    auto deleting = std::async(std::launch::async, [&] { rig.worker.reset(); });
    EXPECT_EQ(deleting.wait_for(5s), std::future_status::ready);
}

TEST(WorkerLifetime, DeletingAWorkerInTheTerminalLoopEndsTheLoop) {
    ScriptedRig rig;
    rig.worker->setCommand(cmdTerminal);
    ASSERT_TRUE(eventually([&] { return rig.line->readCalls() > 0; }));
    auto deleting = std::async(std::launch::async, [&] { rig.worker.reset(); });
    EXPECT_EQ(deleting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(rig.recorder.count(), 0u);
}

TEST(WorkerLifetime, NothingIsPostedOnceShutdownHasBegun) {
    ScriptedRig rig;
    std::atomic<int> postsAfterStop{0};
    rig.worker->startJob([&] {
        for (std::int32_t i = 0;; ++i) {
            const bool active = rig.worker->isActive();
            rig.worker->postProgress(active ? i : -1);
            rig.worker->postText(active ? "tick" : "late");
            if (!active) {
                if (++postsAfterStop == 20) {
                    break;
                }
            }
        }
    });
    ASSERT_TRUE(rig.recorder.waitUntil([](const Recorder& r) { return r.count() >= 20; }));
    rig.worker->shutdown();
    EXPECT_EQ(postsAfterStop, 20);
    for (auto p : rig.recorder.progress()) {
        EXPECT_GE(p, 0);
    }
    for (const auto& t : rig.recorder.texts()) {
        EXPECT_EQ(t, "tick");
    }
}

TEST(WorkerNotifications, TextResultAndProgressCarryTheirKindsAndValues) {
    ScriptedRig rig;
    rig.worker->onWorker([&] {
        rig.worker->postText("hello");
        rig.worker->postResult(resTransferOk);
        rig.worker->postProgress(102);
    });
    const auto notes = rig.recorder.all();
    ASSERT_EQ(notes.size(), 3u);
    for (const auto& note : notes) {
        EXPECT_EQ(note.message, WM_WORKER_NOTIFY);
    }
    EXPECT_EQ(notes[0].kind, notifyText);
    EXPECT_EQ(notes[0].text, "hello");
    EXPECT_EQ(notes[1].kind, notifyResult);
    EXPECT_EQ(notes[1].value, resTransferOk);
    EXPECT_EQ(notes[2].kind, notifyProgress);
    EXPECT_EQ(notes[2].value, 102);
}

// The refused copies are freed by the poster; the leak checker of the sanitizer builds
// fails this test otherwise.
TEST(WorkerNotifications, TextThatCannotBePostedIsDroppedWithoutLeaking) {
    ScriptedRig rig;
    rig.recorder.setRefusing(true);
    rig.worker->onWorker([&] {
        for (int i = 0; i < 100; ++i) {
            rig.worker->postText(std::string(200, 'x'));
        }
    });
    EXPECT_EQ(rig.recorder.refused(), 100);
    EXPECT_EQ(rig.recorder.count(), 0u);
}

TEST(WorkerMailbox, EveryAcceptedLineIsSentOnceAndInOrder) {
    // The owner keeps offering lines while the terminal loop empties the slot.
    ScriptedRig rig;
    rig.worker->setCommand(cmdTerminal);
    std::string expected;
    std::thread owner([&] {
        for (int i = 0; i < 50;) {
            rig.worker->setFileName("/tmp/file" + std::to_string(i));
            const std::string line = "line" + std::to_string(i);
            if (rig.worker->queueCommandLine(line)) {
                expected += line + "\r";
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });
    owner.join();
    EXPECT_TRUE(rig.line->waitWritten([&](const std::string& w) { return w == expected; }))
        << rig.line->written();
    rig.worker->cancel();
    rig.worker->setCommand(cmdIdle);
}

}  // namespace
}  // namespace tidewell::testing
