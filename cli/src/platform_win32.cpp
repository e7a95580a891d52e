// Windows: no SIGPIPE (a closed pipe fails the write), binary standard streams, the
// console's own width, waits on event handles, and folders without search permission.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
// The engine's and the serial layer's names come first: <windows.h> defines some as macros.
// clang-format off
#include "platform.h"
#include <windows.h>
// clang-format on

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace tidewell::cli {

void prepareStandardStreams() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool isTerminal(int fd) {
    return ::_isatty(fd) != 0;
}

std::size_t screenColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

unsigned waitForEither(WaitHandle first, WaitHandle second, int timeoutMs) {
    const HANDLE handles[2] = {first, second};
    const ::DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    const ::DWORD ready = ::WaitForMultipleObjects(2, handles, FALSE, limit);
    if (ready == WAIT_FAILED) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "WaitForMultipleObjects");
    }
    if (ready == WAIT_OBJECT_0) return 1u;
    if (ready == WAIT_OBJECT_0 + 1) return 2u;
    return 0u;
}

int backupFolderError(const std::string& folder) {
    struct _stat64 info {};
    if (::_stat64(folder.c_str(), &info) != 0) return errno;
    if ((info.st_mode & _S_IFMT) != _S_IFDIR) return ENOTDIR;
    return ::_access(folder.c_str(), 2) == 0 ? 0 : errno;  // 2: write
}

}  // namespace tidewell::cli
