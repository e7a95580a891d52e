// The termios backend: one tty opened exclusively, raw, with reads and writes that
// complete at once.
//
// How the control block maps onto termios:
//   BaudRate          any rate through termios2 (BOTHER), set last, read back as the driver holds
//   it ByteSize          5..8 -> CS5..CS8; 4 has no Linux equivalent and is refused (EINVAL) Parity
//   none / odd / even / mark / space -> PARENB, PARODD, CMSPAR StopBits          ONESTOPBIT,
//   TWOSTOPBITS (CSTOPB); one and a half is refused (EINVAL) fParity           INPCK (received
//   parity checked) fOutxCtsFlow, RTS_CONTROL_HANDSHAKE -> CRTSCTS fOutX, fInX       IXON, IXOFF
//   (never IXANY), with XonChar/XoffChar as VSTART/VSTOP fDtrControl, fRtsControl  DTR and RTS
//   lowered (DISABLE) or raised, through TIOCMBIC/TIOCMBIS;
//                     ptys have no modem lines (ENOTTY): nothing to do there, not a failure
// Kept in the block so that it round-trips, with no effect on Linux: fOutxDsrFlow and
// fDsrSensitivity (no DSR flow), DTR_CONTROL_HANDSHAKE (DTR is simply raised), XonLim and
// XoffLim (the kernel picks its own thresholds), fTXContinueOnXoff, fBinary (Linux is always
// binary), fErrorChar/ErrorChar, fNull, fAbortOnError, EofChar and EvtChar.
//
// Read timing follows the time-out record: (MAXDWORD, 0, 0) reads what is buffered;
// (MAXDWORD, MAXDWORD, n) waits up to n ms for the first byte; anything else is the general
// rule (total = multiplier * count + constant, interval between bytes, zero = no limit).
// A hung-up line (read() == 0, POLLHUP/POLLERR/POLLNVAL) fails with EIO.
//
// Closing puts back the line settings the tty had when it was opened and clears its
// exclusive mode, so the next user of the device (a normal user's open, a shell on a
// terminal device) finds it as it was.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

#include "termios2_speed.h"
#include "tidewell/serial/backend.h"
#include "tidewell/serial/event.h"

namespace tidewell {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kMinByteSize = 5;
constexpr std::uint8_t kMaxByteSize = 8;

static_assert(VSTART < detail::kKernelCcCount && VSTOP < detail::kKernelCcCount &&
              VMIN < detail::kKernelCcCount && VTIME < detail::kKernelCcCount);

bool isUnsupportedHere(int error) {
    return error == ENOTTY || error == EINVAL;
}

tcflag_t sizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

std::uint8_t byteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

// Remaining milliseconds until deadline for poll(), rounded up; -1 for no deadline.
int pollTimeout(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) return -1;
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

class TermiosBackend final : public SerialBackend {
  public:
    ~TermiosBackend() override {
        if (fd_ >= 0) {
            release();
            ::close(fd_);
        }
    }

    bool open(const std::string& path) override {
        if (fd_ >= 0) return fail(EBUSY);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fail(errno);
        // flock also stops root, whom TIOCEXCL lets through.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
            ::close(fd);
            return fail(error);
        }
        savedLineValid_ = detail::saveLine(fd, savedLine_) == 0;
        ::ioctl(fd, TIOCEXCL);
        // Linux raises DTR and RTS on open; the port holds them off until told otherwise.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd, TIOCMBIC, &lines);
        fd_ = fd;
        held_ = DCB{};
        held_.fBinary = true;
        timeouts_ = COMMTIMEOUTS{};
        error_ = 0;
        return true;
    }

    bool isOpen() const override { return fd_ >= 0; }

    bool getState(DCB& dcb) override {
        if (fd_ < 0) return fail(EBADF);
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return fail(errno);
        std::uint32_t rate = 0;
        if (const int error = detail::getLineSpeed(fd_, rate); error != 0) return fail(error);
        dcb = held_;
        dcb.BaudRate = rate;
        dcb.ByteSize = byteSizeOf(tio.c_cflag);
        if (!(tio.c_cflag & PARENB)) {
            dcb.Parity = NOPARITY;
        } else if (tio.c_cflag & CMSPAR) {
            dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
        } else {
            dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
        }
        dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fParity = (tio.c_iflag & INPCK) != 0;
        dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
        dcb.fOutX = (tio.c_iflag & IXON) != 0;
        dcb.fInX = (tio.c_iflag & IXOFF) != 0;
        dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
        dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
        error_ = 0;
        return true;
    }

    bool setState(const DCB& dcb) override {
        if (fd_ < 0) return fail(EBADF);
        if (dcb.BaudRate == 0 || dcb.ByteSize < kMinByteSize || dcb.ByteSize > kMaxByteSize ||
            dcb.Parity > SPACEPARITY ||
            (dcb.StopBits != ONESTOPBIT && dcb.StopBits != TWOSTOPBITS)) {
            return fail(EINVAL);
        }
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return fail(errno);
        ::cfmakeraw(&tio);
        tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                         ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
        tio.c_oflag &= ~(OPOST | ONLCR | OCRNL);
        tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ICANON | ISIG | IEXTEN);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
        tio.c_cflag |= CLOCAL | CREAD | sizeFlag(dcb.ByteSize);
        switch (dcb.Parity) {
            case ODDPARITY:
                tio.c_cflag |= PARENB | PARODD;
                break;
            case EVENPARITY:
                tio.c_cflag |= PARENB;
                break;
            case MARKPARITY:
                tio.c_cflag |= PARENB | PARODD | CMSPAR;
                break;
            case SPACEPARITY:
                tio.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        if (dcb.StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
        if (dcb.fParity) tio.c_iflag |= INPCK;
        if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio.c_cflag |= CRTSCTS;
        if (dcb.fOutX) tio.c_iflag |= IXON;
        if (dcb.fInX) tio.c_iflag |= IXOFF;
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
        // VMIN=1/VTIME=0 with O_NONBLOCK: the read timing is done with poll().
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        detail::LineSettings line;
        line.iflag = tio.c_iflag;
        line.oflag = tio.c_oflag;
        line.cflag = tio.c_cflag;
        line.lflag = tio.c_lflag;
        std::copy_n(tio.c_cc, detail::kKernelCcCount, line.cc);
        line.rate = dcb.BaudRate;
        if (const int error = detail::applyLineSettings(fd_, line); error != 0) return fail(error);
        if (!setModemLine(TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE) ||
            !setModemLine(TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE)) {
            return false;
        }
        held_ = dcb;
        error_ = 0;
        return true;
    }

    bool getTimeouts(COMMTIMEOUTS& timeouts) override {
        if (fd_ < 0) return fail(EBADF);
        timeouts = timeouts_;
        error_ = 0;
        return true;
    }

    bool setTimeouts(const COMMTIMEOUTS& timeouts) override {
        if (fd_ < 0) return fail(EBADF);
        timeouts_ = timeouts;
        error_ = 0;
        return true;
    }

    bool read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        DWORD got = 0;
        const bool ok = readBytes(static_cast<unsigned char*>(buffer), count, got);
        return complete(ok, got, moved, overlapped);
    }

    bool write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        DWORD done = 0;
        const bool ok = writeBytes(static_cast<const unsigned char*>(buffer), count, done);
        return complete(ok, done, moved, overlapped);
    }

    bool overlappedResult(Overlapped* overlapped, DWORD* moved, bool /*wait*/) override {
        // Every operation here has completed before read() or write() returned.
        if (!overlapped) return fail(EINVAL);
        if (overlapped->Internal != ERROR_SUCCESS) return fail(overlapped->Internal);
        *moved = overlapped->InternalHigh;
        error_ = 0;
        return true;
    }

    bool close() override {
        if (fd_ < 0) return fail(EBADF);
        release();
        const int result = ::close(fd_);
        fd_ = -1;
        if (result != 0) return fail(errno);
        error_ = 0;
        return true;
    }

    DWORD lastError() const override { return error_; }

  private:
    bool fail(int error) { return fail(static_cast<DWORD>(error)); }
    bool fail(DWORD error) {
        error_ = error;
        return false;
    }

    // Failures are ignored: a hung-up device has nothing left to put back.
    void release() {
        if (savedLineValid_) detail::restoreLine(fd_, savedLine_);
        savedLineValid_ = false;
        ::ioctl(fd_, TIOCNXCL);
    }

    bool setModemLine(int line, bool raised) {
        if (::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
        if (isUnsupportedHere(errno)) return true;
        return fail(errno);
    }

    bool complete(bool ok, DWORD count, DWORD* moved, Overlapped* overlapped) {
        if (moved) *moved = count;
        if (overlapped) {
            overlapped->Internal = ok ? ERROR_SUCCESS : error_;
            overlapped->InternalHigh = count;
            if (overlapped->hEvent) overlapped->hEvent->set();
        }
        if (ok) error_ = 0;
        return ok;
    }

    // One non-blocking read: bytes read, 0 when nothing is buffered, -1 on failure.
    long readOnce(unsigned char* buffer, DWORD count) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, count);
            if (n > 0) return static_cast<long>(n);
            if (n == 0) {
                fail(EIO);  // VMIN=1: zero bytes only after a hang-up
                return -1;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            fail(errno);
            return -1;
        }
    }

    // 1 when ready, 0 when the deadline passed, -1 on failure (hang-up included).
    int waitFor(short events, const std::optional<Clock::time_point>& deadline) {
        for (;;) {
            pollfd pfd{fd_, events, 0};
            const int n = ::poll(&pfd, 1, pollTimeout(deadline));
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(errno);
                return -1;
            }
            if (n == 0) {
                if (deadline && Clock::now() < *deadline) continue;
                return 0;
            }
            if (pfd.revents & events) return 1;
            fail(EIO);  // POLLHUP, POLLERR or POLLNVAL alone
            return -1;
        }
    }

    bool readBytes(unsigned char* buffer, DWORD count, DWORD& got) {
        if (fd_ < 0) return fail(EBADF);
        if (count == 0) return true;
        const COMMTIMEOUTS& t = timeouts_;
        const bool immediate = t.ReadIntervalTimeout == MAXDWORD &&
                               t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
        const bool firstByteWait =
            t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
            t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
        const auto start = Clock::now();
        std::optional<Clock::time_point> totalDeadline;
        if (firstByteWait) {
            totalDeadline = start + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
        } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
            const auto total = std::chrono::milliseconds(
                static_cast<std::int64_t>(t.ReadTotalTimeoutMultiplier) * count +
                t.ReadTotalTimeoutConstant);
            totalDeadline = start + total;
        }
        const bool useInterval =
            !firstByteWait && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD;

        while (got < count) {
            const long n = readOnce(buffer + got, count - got);
            if (n < 0) return false;
            got += static_cast<DWORD>(n);
            if (got == count || immediate || (firstByteWait && got > 0)) break;
            std::optional<Clock::time_point> deadline = totalDeadline;
            if (useInterval && got > 0) {
                const auto next = Clock::now() + std::chrono::milliseconds(t.ReadIntervalTimeout);
                deadline = deadline ? std::min(*deadline, next) : next;
            }
            const int ready = waitFor(POLLIN, deadline);
            if (ready < 0) return false;
            if (ready == 0) break;
        }
        return true;
    }

    bool writeBytes(const unsigned char* buffer, DWORD count, DWORD& done) {
        if (fd_ < 0) return fail(EBADF);
        const COMMTIMEOUTS& t = timeouts_;
        std::optional<Clock::time_point> deadline;
        if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
            deadline = Clock::now() +
                       std::chrono::milliseconds(
                           static_cast<std::int64_t>(t.WriteTotalTimeoutMultiplier) * count +
                           t.WriteTotalTimeoutConstant);
        }
        while (done < count) {
            const ssize_t n = ::write(fd_, buffer + done, count - done);
            if (n > 0) {
                done += static_cast<DWORD>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return fail(errno);
            const int ready = waitFor(POLLOUT, deadline);
            if (ready < 0) return false;
            if (ready == 0) break;  // write time-out: the count tells how much went out
        }
        return true;
    }

    int fd_ = -1;
    DWORD error_ = 0;
    detail::SavedLine savedLine_{};
    bool savedLineValid_ = false;
    DCB held_{};
    COMMTIMEOUTS timeouts_{};
};

}  // namespace

std::unique_ptr<SerialBackend> makeTermiosBackend() {
    return std::make_unique<TermiosBackend>();
}

}  // namespace tidewell
