// Windows: Ctrl-C and Ctrl-Break stand for SIGINT, closing the console (or logging off,
// shutting down) for SIGTERM, through a console control handler that sets an event.
// The engine's and the serial layer's names come first: <windows.h> defines some as macros.
// clang-format off
#include "signal_watch.h"
#include <windows.h>
// clang-format on

#include <atomic>
#include <csignal>
#include <system_error>

namespace tidewell::cli {

namespace {

// Windows ends the program once the handler of a closing console returns: this long the
// run has to cancel, remove its partial file and end by itself.
constexpr ::DWORD kCloseGraceMs = 4000;

std::atomic<int> pendingSignal{0};
std::atomic<HANDLE> arrived{nullptr};

BOOL WINAPI onConsoleEvent(::DWORD type) {
    int signal = 0;
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = SIGINT;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = SIGTERM;
            break;
        default:
            return FALSE;
    }
    pendingSignal.store(signal);
    if (const HANDLE event = arrived.load()) ::SetEvent(event);
    if (signal == SIGTERM) ::Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

SignalWatch::SignalWatch() {
    fd_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!fd_) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
    }
    arrived.store(fd_);
    if (!::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        const auto error = static_cast<int>(::GetLastError());
        arrived.store(nullptr);
        ::CloseHandle(fd_);
        throw std::system_error(error, std::system_category(), "SetConsoleCtrlHandler");
    }
}

SignalWatch::~SignalWatch() {
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    arrived.store(nullptr);
    ::CloseHandle(fd_);
}

std::optional<int> SignalWatch::take() {
    if (::WaitForSingleObject(fd_, 0) != WAIT_OBJECT_0) return std::nullopt;
    ::ResetEvent(fd_);
    return pendingSignal.load();
}

}  // namespace tidewell::cli
