#include "tidewell/cli/exit_status.h"

#include <array>

#include "tidewell/engine/worker_codes.h"

namespace tidewell::cli {

namespace {

constexpr std::uint64_t kFailedPacketsEvidence = 2;

constexpr std::array<ExitStatusInfo, 16> kTable{{
    {ExitStatus::ok, "success"},
    {ExitStatus::transferFailed, "the transfer failed otherwise (see the device lines)"},
    {ExitStatus::usage, "usage error: bad command, option, argument or terminal input line"},
    {ExitStatus::portError, "the port cannot be opened, or the device was lost from it"},
    {ExitStatus::noDevice, "no device: no \":LOGIN:\" prompt within the timeout"},
    {ExitStatus::deviceError, "the device replied \":ERROR:\""},
    {ExitStatus::localFile, "a local file cannot be opened, read or written"},
    {ExitStatus::tooManyRetries,
     "too many retries: packets could not get through or failed their check"},
    {ExitStatus::deviceCancel, "the device cancelled the transfer"},
    {ExitStatus::noStart, "the device accepted the transfer but never started it"},
    {ExitStatus::timeout, "timeout: no reply (log-in, command, final line), or a silent transfer"},
    {ExitStatus::backupMismatch, "a backup does not match its record, or has no valid record"},
    {ExitStatus::verifyFailed, "verification failed: the device's file differs from what was sent"},
    {ExitStatus::notVerified, "sent, but not verified: the device refused to send the file back"},
    {ExitStatus::someDevicesFailed,
     "several ports: some devices failed (each port's status is in the summary)"},
    {ExitStatus::interrupted, "interrupted (SIGINT, SIGTERM or SIGHUP)"},
}};

}  // namespace

std::span<const ExitStatusInfo> exitStatusTable() {
    return kTable;
}

bool packetsKeptFailing(const TransferObservation& seen) {
    return seen.receiving && seen.okReplies > 0 &&
           seen.packetsSinceProgress >= kFailedPacketsEvidence;
}

ExitStatus classifyTransfer(const TransferObservation& seen) {
    if (seen.interrupted) return ExitStatus::interrupted;
    // The local file failed first; the device's reply to the cancel that followed
    // says nothing more.
    if (seen.localFileError != 0) return ExitStatus::localFile;
    if (seen.deviceLost) return ExitStatus::portError;
    const bool confirmed = !seen.stalled && seen.result == resTransferOk;
    if (!confirmed && packetsKeptFailing(seen)) return ExitStatus::tooManyRetries;
    if (seen.stalled) {
        // Accepted, and nothing of the block transfer came: the device never started it.
        return seen.okReplies > 0 && !seen.progressed && !seen.deviceStarted ? ExitStatus::noStart
                                                                             : ExitStatus::timeout;
    }
    if (!seen.result) return ExitStatus::transferFailed;
    switch (*seen.result) {
        case resTransferOk:
            return ExitStatus::ok;
        case resOpenError:
        case resWriteError:
            return ExitStatus::localFile;
        case resTooManyRetries:
            return ExitStatus::tooManyRetries;
        case resRemoteCancel:
            return ExitStatus::deviceCancel;
        case resNoRemote:
            return ExitStatus::noStart;
        case resTransferError:
            // The session reports a refused command line, a missing reply and an
            // unconfirmed end alike; the lines seen tell them apart.
            if (seen.errorReply) return ExitStatus::deviceError;
            if (seen.okReplies == 0) return ExitStatus::timeout;  // command line unanswered
            if (seen.okReplies == 1) return ExitStatus::timeout;  // no final reply
            return ExitStatus::transferFailed;                    // confirmed, yet failed
        default:
            return ExitStatus::transferFailed;
    }
}

}  // namespace tidewell::cli
