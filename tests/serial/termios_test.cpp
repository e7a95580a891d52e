// TSerie over the termios backend, on real pseudo-terminal pairs.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tidewell/serial/tserie.h"

namespace tidewell {
namespace test {
bool probeLineSpeed(int fd, std::uint32_t& input, std::uint32_t& output);
}

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto kDeadline = std::chrono::seconds(10);

// A pty pair; the test plays the device on the master side.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;

    PtyPair() {
        std::array<char, 128> name{};
        if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) return;
        slavePath = name.data();
        termios tio{};
        ::tcgetattr(master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    ~PtyPair() {
        closeMaster();
        if (slave >= 0) ::close(slave);
    }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    SerialPlatform platform() const {
        const std::string path = slavePath;
        return SerialPlatform{makeTermiosBackend, [path](std::uint8_t) { return path; }};
    }
    // Reads exactly n bytes from the master side, or fewer when the deadline passes.
    std::string readMaster(std::size_t n) const {
        std::string got;
        const auto until = std::chrono::steady_clock::now() + kDeadline;
        while (got.size() < n && std::chrono::steady_clock::now() < until) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t r = ::read(master, buffer, std::min(sizeof buffer, n - got.size()));
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
};

std::string allByteValues() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i);
    return bytes;
}

// Reads through the port until n bytes came or the deadline passed.
std::string readPort(TSerie& port, std::size_t n) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (got.size() < n && std::chrono::steady_clock::now() < until) {
        char buffer[512];
        DWORD moved = 0;
        Overlapped ov;
        if (!port.read(buffer, sizeof buffer, &moved, &ov)) break;
        got.append(buffer, moved);
    }
    return got;
}

std::string openErrorOf(const SerialPlatform& platform) {
    try {
        TSerie port(1, 9600, 8, 0, 1, false, false, true, platform);
    } catch (const SerialTextError& e) {
        return e.what();
    }
    return "<opened>";
}

TEST(TermiosPort, AllByteValuesCrossUnchangedBothWays) {
    PtyPair pty;
    ASSERT_FALSE(pty.slavePath.empty());
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    const std::string bytes = allByteValues();

    DWORD written = 0;
    Overlapped ov;
    ASSERT_TRUE(port->write(bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov));
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(ov.InternalHigh, bytes.size());
    EXPECT_EQ(pty.readMaster(bytes.size()), bytes);

    ASSERT_EQ(::write(pty.master, bytes.data(), bytes.size()), 256);
    EXPECT_EQ(readPort(*port, bytes.size()), bytes);
}

TEST(TermiosPort, LineIsRawWithTheRequestedFrame) {
    PtyPair pty;
    TSerie port(1, 57600, 8, MARKPARITY, 2, false, false, true, pty.platform());
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | ISTRIP | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_cflag & (HUPCL | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), tcflag_t(PARODD | CMSPAR));

    port.setXonXoffControl(true);
    port.setHardwareFlowControl(true);
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VSTART], 0x11);
    EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
}

TEST(TermiosPort, OddRateReachesTheDriverUnchanged) {
    PtyPair pty;
    auto port = createSerialPort(1, 123456, pty.platform());
    ASSERT_NE(port, nullptr);
    std::uint32_t in = 0, out = 0;
    EXPECT_TRUE(test::probeLineSpeed(pty.slave, in, out));
    EXPECT_EQ(in, 123456u);
    EXPECT_EQ(out, 123456u);
    EXPECT_EQ(port->getBaudRate(), 123456u);
}

TEST(TermiosPort, SecondOpenOfTheSamePortFails) {
    PtyPair pty;
    auto first = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(openErrorOf(pty.platform()),
              "Error # " + std::to_string(EBUSY) + " opening " + pty.slavePath + " :");
    std::string why;
    EXPECT_EQ(createSerialPort(1, 115200, pty.platform(), &why), nullptr);
    EXPECT_THAT(why, HasSubstr("busy"));

    first.reset();  // the port is free again
    EXPECT_NE(createSerialPort(1, 115200, pty.platform()), nullptr);
}

TEST(TermiosPort, MissingOrUnusableDeviceFailsWithCodeAndPath) {
    const std::string missing = "/nonexistent/tidewell-tty";
    const SerialPlatform platform{makeTermiosBackend, [&](std::uint8_t) { return missing; }};
    EXPECT_EQ(openErrorOf(platform), "Error # 2 opening " + missing + " :");

    // Opens, but is no tty: the line settings cannot be read, and the reason says why.
    const SerialPlatform notTty{makeTermiosBackend, [](std::uint8_t) { return "/dev/null"; }};
    EXPECT_EQ(openErrorOf(notTty), "error opening ");
    std::string why;
    EXPECT_EQ(createSerialPort(1, 9600, notTty, &why), nullptr);
    EXPECT_THAT(why, HasSubstr("(/dev/null): error opening it as a serial line: "
                               "Inappropriate ioctl for device (errno 25)"));
}

TEST(TermiosPort, FailedConstructionLeavesThePortFree) {
    PtyPair pty;
    EXPECT_THROW(TSerie(1, 9600, 8, 7, 1, false, false, true, pty.platform()), SerialTextError);
    EXPECT_NE(createSerialPort(1, 9600, pty.platform()), nullptr);
}

TEST(TermiosPort, ReadWithNothingPendingReturnsZeroBytesAfterTheWait) {
    PtyPair pty;
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    char buffer[16];
    DWORD moved = 99;
    Overlapped ov;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port->read(buffer, sizeof buffer, &moved, &ov));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4));
    EXPECT_EQ(moved, 0u);

    ASSERT_TRUE(port->setNonBlockingRead());
    moved = 99;
    EXPECT_TRUE(port->read(buffer, sizeof buffer, &moved, &ov));
    EXPECT_EQ(moved, 0u);
}

TEST(TermiosPort, ReadWaitReturnsAsSoonAsAByteArrives) {
    PtyPair pty;
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->setReadWait(60'000));
    std::thread device([&] { ::write(pty.master, "K", 1); });
    char buffer[16];
    DWORD moved = 0;
    EXPECT_TRUE(port->read(buffer, sizeof buffer, &moved, nullptr));
    device.join();
    ASSERT_EQ(moved, 1u);
    EXPECT_EQ(buffer[0], 'K');
}

TEST(TermiosPort, HangUpFailsReadsAndWritesAsDeviceLost) {
    PtyPair pty;
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->setReadWait(60'000));
    pty.closeMaster();
    char buffer[16];
    DWORD moved = 99;
    for (int i = 0; i < 3; ++i) {  // every read fails; none reports success with 0 bytes
        EXPECT_FALSE(port->read(buffer, sizeof buffer, &moved, nullptr));
        EXPECT_EQ(moved, 0u);
        EXPECT_TRUE(isDeviceLostError(port->lastError())) << port->lastError();
    }
    EXPECT_FALSE(port->write("x", 1, &moved, nullptr));
    EXPECT_TRUE(isDeviceLostError(port->lastError())) << port->lastError();
}

TEST(TermiosPort, LargeWriteCompletesWhileThePeerDrains) {
    PtyPair pty;
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    std::string data(256 * 1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::string received;
    std::thread device([&] { received = pty.readMaster(data.size()); });
    DWORD written = 0;
    EXPECT_TRUE(port->write(data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    device.join();
    EXPECT_EQ(written, data.size());
    EXPECT_TRUE(received == data);
}

// The next user of the device (a normal user's open, the shell on a terminal) must find
// it as it was: not exclusive, not raw.
TEST(TermiosPort, ClosingClearsExclusiveModeAndPutsBackTheLineSettings) {
    PtyPair pty;
    termios cooked{};
    ASSERT_EQ(::tcgetattr(pty.slave, &cooked), 0);
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    ::cfsetspeed(&cooked, B9600);
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &cooked), 0);
    ASSERT_EQ(::tcgetattr(pty.slave, &cooked), 0);

    auto port = createSerialPort(1, 57600, pty.platform());
    ASSERT_NE(port, nullptr);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    termios raw{};
    ASSERT_EQ(::tcgetattr(pty.slave, &raw), 0);
    EXPECT_EQ(raw.c_lflag & ICANON, 0u);

    port.reset();
    ASSERT_EQ(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::memcmp(&after, &cooked, sizeof after), 0) << "flags, characters and speed";
}

TEST(TermiosPort, CloseTwice) {
    PtyPair pty;
    auto port = createSerialPort(1, 115200, pty.platform());
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->close());
    EXPECT_FALSE(port->close());
    EXPECT_EQ(port->lastError(), static_cast<DWORD>(EBADF));
}

}  // namespace
}  // namespace tidewell
