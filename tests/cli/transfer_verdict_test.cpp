// A transfer's status and message from what was seen of it: one row per way to end.
#include "transfer_verdict.h"

#include <gtest/gtest.h>

namespace tidewell::cli {
namespace {

using namespace std::chrono_literals;

struct Row {
    const char* name;
    TransferRun seen;
    ExitStatus status;
    const char* message;
    bool readBack = false;
};

TransferRun receiving(std::optional<std::int32_t> result, int okReplies) {
    TransferRun seen;
    seen.receiving = true;
    seen.result = result;
    seen.okReplies = okReplies;
    seen.silence = 2000ms;
    seen.frameSilence = 2100ms;
    return seen;
}

template <typename Change>
TransferRun with(TransferRun seen, Change change) {
    change(seen);
    return seen;
}

TEST(CliTransferVerdict, EachWayToEndHasItsStatusAndMessage) {
    const auto refused = with(receiving(resTransferError, 0), [](auto& s) {
        s.errorReply = s.errorBeforeAccept = true;
        s.errorLine = "no file :ERROR:";
    });
    const auto stalled = [](int okReplies, auto change) {
        return with(receiving(std::nullopt, okReplies), [&](auto& s) {
            s.stalled = true;
            change(s);
        });
    };
    const auto failingPackets = with(receiving(resTransferError, 1), [](auto& s) {
        s.errorReply = true;
        s.errorLine = ":ERROR:";
        s.bytesSinceProgress = 3000;
        s.packetsSinceProgress = 2;
    });
    const Row rows[] = {
        {"ok", receiving(resTransferOk, 2), ExitStatus::ok, ""},
        {"refused", refused, ExitStatus::deviceError,
         "P: the device refused \"upload setting\": \"no file :ERROR:\""},
        {"read-back refused", refused, ExitStatus::notVerified,
         "P: the device refused \"upload setting\": \"no file :ERROR:\"", true},
        {"error after the transfer",
         with(receiving(resTransferError, 1),
              [](auto& s) {
                  s.errorReply = true;
                  s.errorLine = ":ERROR: 5";
              }),
         ExitStatus::deviceError,
         "P: the device reported an error after the transfer of \"setting\": \":ERROR: 5\""},
        {"unanswered", receiving(resTransferError, 0), ExitStatus::timeout,
         "P: no reply to \"upload setting\""},
        {"unconfirmed", receiving(resTransferError, 1), ExitStatus::timeout,
         "P: the device did not confirm the end of the transfer of \"setting\""},
        {"confirmed yet failed", receiving(resTransferError, 2), ExitStatus::transferFailed,
         "P: the transfer of \"setting\" failed"},
        {"no result", receiving(std::nullopt, 0), ExitStatus::transferFailed,
         "P: the transfer of \"setting\" failed"},
        {"endless line for the command line",
         stalled(0,
                 [](auto& s) {
                     s.quiet = {900, 0, 0};
                 }),
         ExitStatus::timeout,
         "P: no reply to \"upload setting\" within 2 s; the device sent 900 bytes without a line "
         "end"},
        {"line feeds in place of packets",
         stalled(1,
                 [](auto& s) {
                     s.quiet = {40, 0, 40};
                 }),
         ExitStatus::noStart,
         "P: the device accepted \"upload setting\" but never started the transfer (waited 2.1 "
         "s); the device sent 40 line feeds and nothing else"},
        {"trickle",
         stalled(1,
                 [](auto& s) {
                     s.deviceStarted = true;
                     s.quiet = {3, 0, 0};
                 }),
         ExitStatus::timeout,
         "P: the transfer of \"setting\" stalled: the device sent 3 bytes in 2.1 s but no packet "
         "got through"},
        {"silent", stalled(1, [](auto& s) { s.progressed = true; }), ExitStatus::timeout,
         "P: the transfer of \"setting\" went silent for 2.1 s"},
        {"no final line",
         stalled(1,
                 [](auto& s) {
                     s.progressed = s.blockEnded = true;
                     s.quiet = {5, 1, 0};
                 }),
         ExitStatus::timeout,
         "P: the device did not confirm the end of the transfer of \"setting\" within 2 s; the "
         "device sent 5 bytes, none of them a reply line"},
        // The packets outrank the device's reply to the cancel, and the silence after it.
        {"packets failing their check", failingPackets, ExitStatus::tooManyRetries,
         "P: the packets of \"setting\" kept failing their check: 2.9 KiB from the device and "
         "not one good packet"},
        {"one failed packet is no evidence",
         with(failingPackets, [](auto& s) { s.packetsSinceProgress = 1; }), ExitStatus::deviceError,
         "P: the device reported an error after the transfer of \"setting\": \":ERROR:\""},
        {"too many retries", receiving(resTooManyRetries, 1), ExitStatus::tooManyRetries,
         "P: too many retries: a packet of \"setting\" could not get through"},
        {"device cancel", receiving(resRemoteCancel, 1), ExitStatus::deviceCancel,
         "P: the device cancelled the transfer of \"setting\""},
        {"no start", receiving(resNoRemote, 1), ExitStatus::noStart,
         "P: the device accepted \"upload setting\" but never started the transfer"},
        // The local file failed first: the device's end after the cancel says nothing more.
        {"local file", with(failingPackets, [](auto& s) { s.localFileError = 28; }),
         ExitStatus::localFile,
         "cannot write the received data to /b/x: No space left on device (errno 28); the "
         "backup is given up"},
        {"lost", with(receiving(resTransferError, 1), [](auto& s) { s.deviceLost = true; }),
         ExitStatus::portError, "P: the device was lost (Error: gone)"},
        {"interrupted",
         with(receiving(std::nullopt, 1), [](auto& s) { s.interrupted = s.deviceLost = true; }),
         ExitStatus::interrupted,
         "interrupted: the transfer of \"setting\" was cancelled; the port is released"},
    };
    for (const Row& row : rows) {
        const TransferVerdict verdict = judgeTransfer(
            row.seen, {"P", "setting", "upload setting", "/b/x", "Error: gone", row.readBack});
        EXPECT_EQ(verdict.status, row.status) << row.name;
        EXPECT_EQ(verdict.message, row.message) << row.name;
    }
}

}  // namespace
}  // namespace tidewell::cli
