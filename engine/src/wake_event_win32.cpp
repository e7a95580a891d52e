// Windows: manual-reset events, waited for with WaitForMultipleObjects beside the
// caller's input (a console or pipe handle).
#include <io.h>
#include <windows.h>

#include <system_error>
#include <vector>

#include "wake_event.h"

namespace tidewell::wake {

WaitHandle make() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
    }
    return event;
}

void close(WaitHandle event) {
    ::CloseHandle(event);
}

void set(WaitHandle event) {
    ::SetEvent(event);
}

bool clear(WaitHandle event) {
    if (::WaitForSingleObject(event, 0) != WAIT_OBJECT_0) return false;
    ::ResetEvent(event);
    return true;
}

int waitForAny(std::span<const WaitHandle> events, int inputFd, int timeoutMs) {
    std::vector<HANDLE> handles(events.begin(), events.end());
    if (inputFd >= 0) {
        const auto input = reinterpret_cast<HANDLE>(::_get_osfhandle(inputFd));
        if (input != INVALID_HANDLE_VALUE) handles.push_back(input);
    }
    const ::DWORD ready =
        ::WaitForMultipleObjects(static_cast<::DWORD>(handles.size()), handles.data(), FALSE,
                                 static_cast<::DWORD>(timeoutMs));
    if (ready == WAIT_FAILED) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "WaitForMultipleObjects");
    }
    if (ready >= WAIT_OBJECT_0 && ready < WAIT_OBJECT_0 + handles.size()) {
        return static_cast<int>(ready - WAIT_OBJECT_0);
    }
    return -1;
}

}  // namespace tidewell::wake
