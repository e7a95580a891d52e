#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform.h"

namespace tidewell::cli {

void prepareStandardStreams() {
    ::signal(SIGPIPE, SIG_IGN);
}

bool isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

std::size_t screenColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 0;
}

unsigned waitForEither(WaitHandle first, WaitHandle second, int timeoutMs) {
    pollfd fds[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "poll");
    }
    return (fds[0].revents != 0 ? 1u : 0u) | (fds[1].revents != 0 ? 2u : 0u);
}

int backupFolderError(const std::string& folder) {
    struct stat info {};
    int error = ::stat(folder.c_str(), &info) == 0 ? 0 : errno;
    if (error == 0 && !S_ISDIR(info.st_mode)) error = ENOTDIR;
    if (error == 0 && ::access(folder.c_str(), W_OK | X_OK) != 0) error = errno;
    return error;
}

}  // namespace tidewell::cli
