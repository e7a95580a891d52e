// Windows: the settings live in %APPDATA%\tidewell. Folders cannot be locked, so writers
// take turns on a lock file beside the settings file, which stays (empty) in the folder.
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "settings_folder.h"
#include "tidewell/ini/settings_store.h"

namespace tidewell {

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kLockFileName = L".tidewell.lock";
constexpr mode_t kNewFileMode = _S_IREAD | _S_IWRITE;

fs::path environmentFolder(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value && *value ? fs::path(value) : fs::path();
}

}  // namespace

fs::path defaultSettingsPath() {
    fs::path base = environmentFolder(L"APPDATA");
    if (base.empty()) base = environmentFolder(L"USERPROFILE");
    if (base.empty()) base = ".";
    return base / "tidewell" / "tidewell.ini";
}

namespace detail {

mode_t modeForRewrite(const fs::path& /*file*/) {
    return kNewFileMode;
}

const char* specialFileKind(mode_t mode) {
    return (mode & _S_IFMT) == _S_IFCHR ? "a character device" : "a special file";
}

FolderLock::FolderLock(const fs::path& folder) {
    const HANDLE file =
        ::CreateFileW((folder / kLockFileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
        failedStep_ = "open";
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    OVERLAPPED whole{};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error_ = EIO;
        failedStep_ = "lock";
    }
}

FolderLock::~FolderLock() {
    // Closing the handle releases its lock.
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace detail

}  // namespace tidewell
