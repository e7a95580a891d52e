#include <cerrno>

#include "os_codes.h"
#include "tidewell/fsutil/os_error.h"

namespace tidewell {

bool isDeviceLostError(DWORD code) {
    return code == static_cast<DWORD>(EIO) || code == static_cast<DWORD>(ENXIO) ||
           code == static_cast<DWORD>(ENODEV);
}

std::string serialErrorText(DWORD code) {
    return fsutil::reasonText(static_cast<int>(code));
}

namespace detail {

DWORD noSuchPortCode() {
    return ENOENT;
}

DWORD noDeviceCode() {
    return ENODEV;
}

DWORD notOpenCode() {
    return EBADF;
}

std::string_view openRefusedHint(DWORD code) {
    if (code != static_cast<DWORD>(EACCES)) return {};
    return "; serial devices usually belong to the group dialout: add yourself with "
           "\"sudo usermod -aG dialout $USER\", then log out and in again (the group counts "
           "only from a new log-in)";
}

}  // namespace detail

}  // namespace tidewell
