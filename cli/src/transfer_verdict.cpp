#include "transfer_verdict.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "tidewell/cli/progress.h"
#include "tidewell/fsutil/os_error.h"

namespace tidewell::cli {

namespace {

constexpr std::uint64_t kFailedPacketsEvidence = 2;

constexpr std::pair<std::int32_t, ExitStatus> kStatusOfResult[] = {
    {resTransferOk, ExitStatus::ok},
    {resOpenError, ExitStatus::localFile},
    {resWriteError, ExitStatus::localFile},
    {resTooManyRetries, ExitStatus::tooManyRetries},
    {resRemoteCancel, ExitStatus::deviceCancel},
    {resNoRemote, ExitStatus::noStart},
};

// A download in which the device went on sending packets (two at least) while none
// passed its check.
bool packetsKeptFailing(const TransferRun& seen) {
    return seen.receiving && seen.okReplies > 0 &&
           seen.packetsSinceProgress >= kFailedPacketsEvidence;
}

ExitStatus classify(const TransferRun& seen) {
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
    if (*seen.result == resTransferError) {
        // A refused command line, a missing reply and an unconfirmed end end alike.
        if (seen.errorReply) return ExitStatus::deviceError;
        if (seen.okReplies < 2) return ExitStatus::timeout;  // a reply never came
        return ExitStatus::transferFailed;                   // confirmed, yet failed
    }
    for (const auto& [result, status] : kStatusOfResult) {
        if (result == *seen.result) return status;
    }
    return ExitStatus::transferFailed;
}

std::string message(ExitStatus status, const TransferRun& seen, const TransferNames& n) {
    const std::string& port = n.port;
    const std::string file = inQuotes(n.deviceFile);
    const std::string line = inQuotes(n.commandLine);
    switch (status) {
        case ExitStatus::ok:
            return {};
        case ExitStatus::interrupted:
            return "interrupted: the transfer of " + file + " was cancelled; the port is released";
        case ExitStatus::portError:
            return port + ": the device was lost" +
                   (n.lostLine.empty() ? "" : " (" + n.lostLine + ")");
        case ExitStatus::deviceError:
        case ExitStatus::notVerified:
            return seen.errorBeforeAccept
                       ? port + ": the device refused " + line + ": " + inQuotes(seen.errorLine)
                       : port + ": the device reported an error after the transfer of " + file +
                             ": " + inQuotes(seen.errorLine);
        case ExitStatus::localFile: {
            const std::string reason =
                seen.localFileError != 0 ? ": " + fsutil::reasonText(seen.localFileError) : "";
            return !seen.receiving ? "cannot read " + n.localPath + " for sending" + reason
                   : n.readBack    ? "cannot write the data read back to " + n.localPath + reason
                                   : "cannot write the received data to " + n.localPath + reason +
                                      "; the backup is given up";
        }
        case ExitStatus::tooManyRetries:
            if (packetsKeptFailing(seen)) {
                return port + ": the packets of " + file +
                       " kept failing their check: " + formatSize(seen.bytesSinceProgress) +
                       " from the device " +
                       (seen.progressed ? "since the last good packet" : "and not one good packet");
            }
            return port + ": too many retries: a packet of " + file + " could not get through";
        case ExitStatus::deviceCancel:
            return port + ": the device cancelled the transfer of " + file;
        case ExitStatus::noStart:
            return port + ": the device accepted " + line + " but never started the transfer" +
                   (seen.stalled ? " (waited " + seconds(seen.frameSilence) + ")" +
                                       sentInstead(seen.quiet, "a packet")
                                 : "");
        case ExitStatus::timeout:
            if (seen.okReplies == 0) {
                return port + ": no reply to " + line +
                       (seen.stalled ? " within " + seconds(seen.silence) +
                                           sentInstead(seen.quiet, "a reply line")
                                     : "");
            }
            if (seen.stalled && seen.blockEnded) {
                return port + ": the device did not confirm the end of the transfer of " + file +
                       " within " + seconds(seen.silence) + sentInstead(seen.quiet, "a reply line");
            }
            if (seen.stalled && seen.quiet.bytes > 0) {
                return port + ": the transfer of " + file + " stalled: the device sent " +
                       std::to_string(seen.quiet.bytes) + " bytes in " +
                       seconds(seen.frameSilence) + " but no packet got through";
            }
            if (seen.stalled) {
                return port + ": the transfer of " + file + " went silent for " +
                       seconds(seen.frameSilence);
            }
            return port + ": the device did not confirm the end of the transfer of " + file;
        default:
            return port + ": the transfer of " + file + " failed";
    }
}

}  // namespace

TransferVerdict judgeTransfer(const TransferRun& seen, const TransferNames& names) {
    ExitStatus status = classify(seen);
    // A read-back the device refuses leaves the file sent, only unverified.
    if (status == ExitStatus::deviceError && names.readBack && seen.errorBeforeAccept) {
        status = ExitStatus::notVerified;
    }
    return {status, message(status, seen, names)};
}

std::string seconds(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms < 100) return std::to_string(ms) + " ms";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string sentInstead(const DeviceInput& came, std::string_view awaited) {
    if (came.bytes == 0) return {};
    const std::string noise = describeNoise(came);
    return "; the device sent " +
           (noise.empty()
                ? std::to_string(came.bytes) + " bytes, none of them " + std::string(awaited)
                : noise);
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace tidewell::cli
