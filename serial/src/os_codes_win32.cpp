// Windows: the serial layer's codes are GetLastError() values.
//
// The serial layer's names come first: <windows.h> defines several of them as macros.
// clang-format off
#include "os_codes.h"
#include <windows.h>
// clang-format on

namespace tidewell {

bool isDeviceLostError(DWORD code) {
    // What an unplugged USB adapter or a vanished line reports.
    return code == ERROR_BAD_COMMAND || code == ERROR_GEN_FAILURE ||
           code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_DEV_NOT_EXIST ||
           code == ERROR_OPERATION_ABORTED;
}

// "Access is denied. (error 5)".
std::string serialErrorText(DWORD code) {
    char* words = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&words),
        0, nullptr);
    std::string text = length > 0 ? std::string(words, length) : std::string("Unknown error");
    if (words) ::LocalFree(words);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text + " (error " + std::to_string(code) + ")";
}

namespace detail {

DWORD noSuchPortCode() {
    return ERROR_FILE_NOT_FOUND;
}

DWORD noDeviceCode() {
    return ERROR_DEV_NOT_EXIST;
}

DWORD notOpenCode() {
    return ERROR_INVALID_HANDLE;
}

std::string_view openRefusedHint(DWORD code) {
    if (code != ERROR_ACCESS_DENIED) return {};
    return "; another program has the port open: close it there first";
}

}  // namespace detail

}  // namespace tidewell
