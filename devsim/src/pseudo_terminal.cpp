#include "pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <stdexcept>

#include "text.h"

namespace tidewell::devsim {

namespace {

void makeRaw(termios& settings) {
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IMAXBEL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR | OCRNL);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    // A zeroed speed reads as B0 ("hang up") to a host that looks.
    ::cfsetspeed(&settings, B115200);
}

void setFlag(int fd, int getCommand, int setCommand, int flag, const std::string& what) {
    const int flags = ::fcntl(fd, getCommand);
    if (flags < 0 || ::fcntl(fd, setCommand, flags | flag) < 0) {
        throw std::runtime_error(osError(what, errno));
    }
}

}  // namespace

PtyPair openPty() {
    termios settings{};
    makeRaw(settings);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, &settings, nullptr) != 0) {
        throw std::runtime_error(osError("openpty", errno));
    }
    PtyPair pair{UniqueFd(master), UniqueFd(slave), {}};
    setFlag(master, F_GETFD, F_SETFD, FD_CLOEXEC, "fcntl on the pty master");
    setFlag(slave, F_GETFD, F_SETFD, FD_CLOEXEC, "fcntl on the pty slave");
    setFlag(master, F_GETFL, F_SETFL, O_NONBLOCK, "fcntl on the pty master");

    termios masterSettings{};
    if (::tcgetattr(master, &masterSettings) == 0) {
        makeRaw(masterSettings);
        ::tcsetattr(master, TCSANOW, &masterSettings);
    }
    std::array<char, PATH_MAX> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) {
        throw std::runtime_error(osError("ptsname", errno));
    }
    pair.slavePath = name.data();
    return pair;
}

LinkGuard::LinkGuard(std::filesystem::path link, std::string target)
    : link_(std::move(link)), target_(std::move(target)) {
    struct stat info {};
    if (::lstat(link_.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            throw std::runtime_error("link " + link_.string() +
                                     ": exists and is not a symbolic link; not replaced");
        }
        if (::unlink(link_.c_str()) != 0) {
            throw std::runtime_error(osError("remove stale link " + link_.string(), errno));
        }
    }
    if (::symlink(target_.c_str(), link_.c_str()) != 0) {
        throw std::runtime_error(osError("link " + link_.string() + " -> " + target_, errno));
    }
    active_ = true;
}

void LinkGuard::remove() {
    if (!active_) return;
    active_ = false;
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(link_.c_str(), buffer.data(), buffer.size() - 1);
    if (length >= 0 && std::string(buffer.data(), static_cast<std::size_t>(length)) == target_) {
        ::unlink(link_.c_str());
    }
}

}  // namespace tidewell::devsim
