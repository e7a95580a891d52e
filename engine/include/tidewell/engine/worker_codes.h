// Codes shared by the worker and whoever drives it: command codes, result codes
// and the notification message with its three kinds.
#pragma once

#include <cstdint>

namespace tidewell {

inline constexpr std::uint32_t WM_USER = 0x0400;
// Worker to its owner: wParam is a NotifyKind, lParam its value.
inline constexpr std::uint32_t WM_WORKER_NOTIFY = WM_USER + 1;

enum WorkerCommand : std::int32_t {
    cmdNone = 0,
    cmdIdle = 1,
    cmdDetect = 2,
    cmdLogin = 3,
    cmdLoggedIn = 4,
    cmdTerminal = 5,
    cmdUpload = 6,
    cmdDownload = 7,
};

enum WorkerResult : std::int32_t {
    resStopped = 2,
    resDetected = 3,
    resLoggedIn = 4,
    resOpenError = 5,
    resWriteError = 6,
    resTooManyRetries = 7,
    resTransferOk = 8,
    resTransferError = 9,
    resRemoteCancel = 10,
    resNoRemote = 11,
    // Detection or log-in ended because the device went away (unplugged, hung up)
    // or the port stopped taking data; linkError() of the worker says why.
    resDeviceLost = 12,
    // Log-in ended without ":OK:" from the device (":ERROR:", or no answer at all);
    // failureReason() of the worker says which.
    resLoginFailed = 13,
};

enum NotifyKind : std::int32_t {
    // value: a `new std::string*`; the receiver owns it once the notifier returned true.
    notifyText = 0,
    // value: a WorkerResult.
    notifyResult = 1,
    // value: percent (can exceed 100).
    notifyProgress = 2,
};

// Delivers one notification; true when it was taken (posted). serial is the one
// given with the command that posted it (0 when none was given), so that the
// receiver can tell a late notification of an earlier command from the current
// command's. Called on the worker thread, so it must only queue: never block on,
// or call back into, the thread object that calls it.
using Notifier = bool (*)(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                          std::intptr_t value, std::uint32_t serial);

}  // namespace tidewell
