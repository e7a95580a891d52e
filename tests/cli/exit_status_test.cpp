#include "tidewell/cli/exit_status.h"

#include <gtest/gtest.h>

#include <set>

#include "tidewell/engine/worker_codes.h"

namespace tidewell::cli {
namespace {

TEST(CliExitStatus, EveryFailureKindHasItsOwnNonZeroStatus) {
    std::set<int> seen;
    int previous = -1;
    for (const auto& info : exitStatusTable()) {
        EXPECT_TRUE(seen.insert(exitCode(info.status)).second) << exitCode(info.status);
        EXPECT_GT(exitCode(info.status), previous);
        EXPECT_FALSE(info.meaning.empty());
        previous = exitCode(info.status);
    }
    EXPECT_EQ(exitStatusTable().front().status, ExitStatus::ok);
    EXPECT_EQ(exitCode(ExitStatus::ok), 0);
    // Scripts test these numbers: a new status is appended, none is renumbered.
    EXPECT_EQ(exitCode(ExitStatus::notVerified), 13);
    EXPECT_EQ(exitCode(ExitStatus::someDevicesFailed), 14);
}

TransferObservation finished(std::int32_t result, int okReplies = 2) {
    TransferObservation seen;
    seen.result = result;
    seen.okReplies = okReplies;
    seen.progressed = true;
    return seen;
}

TEST(CliExitStatus, TransferResultsMapOntoTheirKinds) {
    EXPECT_EQ(classifyTransfer(finished(resTransferOk)), ExitStatus::ok);
    EXPECT_EQ(classifyTransfer(finished(resOpenError)), ExitStatus::localFile);
    EXPECT_EQ(classifyTransfer(finished(resWriteError)), ExitStatus::localFile);
    EXPECT_EQ(classifyTransfer(finished(resTooManyRetries)), ExitStatus::tooManyRetries);
    EXPECT_EQ(classifyTransfer(finished(resRemoteCancel)), ExitStatus::deviceCancel);
    EXPECT_EQ(classifyTransfer(finished(resNoRemote)), ExitStatus::noStart);
    EXPECT_EQ(classifyTransfer(finished(resStopped)), ExitStatus::transferFailed);
}

TEST(CliExitStatus, AnErrorReplyIsToldFromAMissingReply) {
    auto refused = finished(resTransferError, 0);
    refused.errorReply = true;
    refused.progressed = false;
    EXPECT_EQ(classifyTransfer(refused), ExitStatus::deviceError);

    auto unanswered = finished(resTransferError, 0);
    unanswered.progressed = false;
    EXPECT_EQ(classifyTransfer(unanswered), ExitStatus::timeout);

    auto unconfirmed = finished(resTransferError, 1);
    EXPECT_EQ(classifyTransfer(unconfirmed), ExitStatus::timeout);

    auto failedAfterTransfer = finished(resTransferError, 1);
    failedAfterTransfer.errorReply = true;
    EXPECT_EQ(classifyTransfer(failedAfterTransfer), ExitStatus::deviceError);

    // Confirmed with ":OK:" and still an error: the block transfer itself failed.
    EXPECT_EQ(classifyTransfer(finished(resTransferError, 2)), ExitStatus::transferFailed);
}

TEST(CliExitStatus, AStalledTransferIsNoStartOnlyBeforeTheDeviceSentAnyOfIt) {
    TransferObservation accepted;
    accepted.okReplies = 1;
    accepted.stalled = true;
    accepted.bytesSinceProgress = 50000;  // line feeds, say: no packet among them
    EXPECT_EQ(classifyTransfer(accepted), ExitStatus::noStart);

    TransferObservation running = accepted;
    running.progressed = true;
    EXPECT_EQ(classifyTransfer(running), ExitStatus::timeout);

    TransferObservation trickling = accepted;  // a first packet begun, never ended
    trickling.deviceStarted = true;
    EXPECT_EQ(classifyTransfer(trickling), ExitStatus::timeout);

    TransferObservation unanswered;
    unanswered.stalled = true;
    EXPECT_EQ(classifyTransfer(unanswered), ExitStatus::timeout);
}

TEST(CliExitStatus, InterruptionAndALostDeviceOutrankTheResult) {
    auto lost = finished(resTransferError, 1);
    lost.deviceLost = true;
    EXPECT_EQ(classifyTransfer(lost), ExitStatus::portError);

    auto stopped = finished(resStopped);
    stopped.interrupted = true;
    stopped.deviceLost = true;
    EXPECT_EQ(classifyTransfer(stopped), ExitStatus::interrupted);

    TransferObservation noResult;
    noResult.interrupted = true;
    EXPECT_EQ(classifyTransfer(noResult), ExitStatus::interrupted);
}

// The cause known here outranks the device's ":ERROR:" after the cancel: a failed
// local file; a backup whose device went on sending while no packet passed its check.
TEST(CliExitStatus, ACauseKnownHereOutranksTheDevicesFinalReply) {
    auto seen = finished(resTransferError, 1);
    seen.errorReply = true;
    seen.progressed = false;
    seen.receiving = true;
    seen.bytesSinceProgress = 50000;  // bytes that are no packet say nothing of packets
    EXPECT_EQ(classifyTransfer(seen), ExitStatus::deviceError);
    seen.packetsSinceProgress = 1;  // nor does one packet
    EXPECT_EQ(classifyTransfer(seen), ExitStatus::deviceError);
    seen.packetsSinceProgress = 2;
    EXPECT_EQ(classifyTransfer(seen), ExitStatus::tooManyRetries);
    seen.stalled = true;  // silent at last: still the packets, not "never started"
    EXPECT_EQ(classifyTransfer(seen), ExitStatus::tooManyRetries);
    seen.localFileError = 28;
    EXPECT_EQ(classifyTransfer(seen), ExitStatus::localFile);
}

TEST(CliExitStatus, AnEndWithoutAnyResultIsAFailure) {
    EXPECT_EQ(classifyTransfer(TransferObservation{}), ExitStatus::transferFailed);
}

}  // namespace
}  // namespace tidewell::cli
