#include "tidewell/cli/exit_status.h"

#include <array>

namespace tidewell::cli {

namespace {

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

}  // namespace tidewell::cli
