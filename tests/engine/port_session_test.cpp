#include "tidewell/engine/port_session.h"

#include <gtest/gtest.h>

#include "wait_handle_state.h"

namespace tidewell {
namespace {

using tidewell::testing::isReady;

std::uintptr_t context(WorkerEventQueue& queue) {
    return reinterpret_cast<std::uintptr_t>(&queue);
}

TEST(WorkerEventQueue, TextsAreTakenOverAndDeleted) {
    WorkerEventQueue queue;
    auto* text = new std::string("Firmware 1.0");
    ASSERT_TRUE(WorkerEventQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyText,
                                          reinterpret_cast<std::intptr_t>(text)));
    // Under ASan a leak or double delete of `text` fails this test.
    const auto event = queue.pop();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, WorkerEvent::Kind::text);
    EXPECT_EQ(event->text, "Firmware 1.0");
}

TEST(WorkerEventQueue, EventsComeOutInOrderAndWakeThePoller) {
    WorkerEventQueue queue;
    EXPECT_FALSE(isReady(queue.fd()));
    WorkerEventQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyProgress, 34);
    WorkerEventQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyResult, resTransferOk);
    queue.push({WorkerEvent::Kind::commandEnded, 0, true, {}});
    EXPECT_TRUE(isReady(queue.fd()));
    auto first = queue.pop();
    auto second = queue.pop();
    auto third = queue.pop();
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->kind, WorkerEvent::Kind::progress);
    EXPECT_EQ(first->value, 34);
    EXPECT_EQ(second->kind, WorkerEvent::Kind::result);
    EXPECT_EQ(second->value, resTransferOk);
    EXPECT_EQ(third->kind, WorkerEvent::Kind::commandEnded);
    EXPECT_TRUE(third->deviceLost);
    EXPECT_FALSE(queue.pop());
    EXPECT_FALSE(isReady(queue.fd()));
}

TEST(WorkerEventQueue, ForeignMessagesAndKindsAreRefused) {
    WorkerEventQueue queue;
    EXPECT_FALSE(WorkerEventQueue::deliver(context(queue), WM_WORKER_NOTIFY + 1, notifyResult, 8));
    EXPECT_FALSE(WorkerEventQueue::deliver(context(queue), WM_WORKER_NOTIFY, 42, 8));
    EXPECT_FALSE(WorkerEventQueue::deliver(0, WM_WORKER_NOTIFY, notifyResult, 8));
    EXPECT_FALSE(queue.pop());
}

using namespace std::chrono_literals;
using Clock = TransferWatch::Clock;

TransferOutcome framesSeen(std::uint64_t frames, TransferStage stage = TransferStage::blocks) {
    TransferOutcome outcome;
    outcome.stage = stage;
    outcome.deviceFrames = frames;
    return outcome;
}

// Only what gets the transfer on (the accept, a frame, the final line awaited) moves the
// silence limit; a chatty device does not, and its bytes are what a stall reports.
TEST(TransferWatch, OnlyFramesAndTheAcceptKeepATransferAlive) {
    const SilencePolicy policy{2000ms, 2100ms};
    const auto t0 = Clock::now();
    TransferWatch watch(TransferWay::fromDevice, policy, false, t0, {});
    EXPECT_EQ(watch.deadline(), t0 + 2000ms);

    watch.line("chatter", t0 + 500ms, {10, 1, 1});
    EXPECT_EQ(watch.deadline(), t0 + 2000ms);
    watch.line("upload setting:OK:", t0 + 1000ms, {40, 2, 2});
    EXPECT_EQ(watch.deadline(), t0 + 3100ms);  // the frame wait runs from the accept

    watch.look(framesSeen(0), t0 + 1500ms, {90, 2, 2});
    EXPECT_EQ(watch.deadline(), t0 + 3100ms);
    watch.look(framesSeen(1), t0 + 2000ms, {1200, 2, 2});
    EXPECT_EQ(watch.deadline(), t0 + 4100ms);

    // The block transfer has ended: the final line is awaited for the line silence.
    watch.look(framesSeen(2, TransferStage::finalReply), t0 + 2500ms, {2300, 2, 2});
    EXPECT_EQ(watch.deadline(), t0 + 4500ms);
    EXPECT_FALSE(watch.silent(t0 + 4499ms));
    EXPECT_TRUE(watch.silent(t0 + 4500ms));

    watch.stop(false, framesSeen(2, TransferStage::finalReply), {2350, 3, 2});
    const TransferRun run = watch.finish(framesSeen(2, TransferStage::finalReply));
    EXPECT_TRUE(run.stalled);
    EXPECT_FALSE(run.interrupted);
    EXPECT_TRUE(run.blockEnded);
    EXPECT_TRUE(run.deviceStarted);
    EXPECT_EQ(run.quiet.bytes, 50u);
    EXPECT_EQ(run.quiet.lineEnds, 1u);
}

TEST(TransferWatch, ARefusalIsToldFromAnErrorAfterTheTransfer) {
    const auto t0 = Clock::now();
    TransferWatch refused(TransferWay::toDevice, {1000ms, 1000ms}, false, t0, {});
    refused.line("download flashimage:ERROR:", t0, {});
    refused.line("later:ERROR:", t0, {});
    TransferRun run = refused.finish({});
    EXPECT_TRUE(run.errorReply && run.errorBeforeAccept);
    EXPECT_EQ(run.errorLine, "download flashimage:ERROR:");

    TransferWatch failedLate(TransferWay::toDevice, {1000ms, 1000ms}, false, t0, {});
    failedLate.line("download flashimage:OK:", t0, {});
    failedLate.line("flash failed:ERROR:", t0, {});
    run = failedLate.finish({});
    EXPECT_TRUE(run.errorReply);
    EXPECT_FALSE(run.errorBeforeAccept);
    EXPECT_EQ(run.okReplies, 1);
}

}  // namespace
}  // namespace tidewell
