// TSerie over the recording fake: order of platform calls, refusals, error texts.
#include "tidewell/serial/tserie.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "tidewell/serial/testing/fake_backend.h"

namespace tidewell {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using testing::FakeSerialDevice;
using ::testing::HasSubstr;
using testing::SerialCall;
using ::testing::StartsWith;

// The fake fails with errno values, worded as Linux words them; Windows words its own
// codes (tested in win32_codes_test.cpp).
#ifdef _WIN32
constexpr bool kLinuxWords = false;
#else
constexpr bool kLinuxWords = true;
#endif
constexpr const char* kNotLinux = "errno values and their Linux words";

struct TSerieFake : ::testing::Test {
    std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
    SerialPlatform platform() { return testing::fakeSerialPlatform(device); }

    std::unique_ptr<TSerie> make(std::uint8_t dataBits = 8, std::uint8_t parity = NOPARITY,
                                 std::uint8_t stopBits = 1, DWORD baud = 115200) {
        return std::make_unique<TSerie>(3, baud, dataBits, parity, stopBits, false, false, true,
                                        platform());
    }

    std::string textErrorOf(const std::function<void()>& construct) {
        try {
            construct();
        } catch (const SerialTextError& e) {
            return e.what();
        }
        return "<no text error>";
    }
};

TEST_F(TSerieFake, StandardLinkMakesThePlatformCallsInOrder) {
    auto port = createSerialPort(3, 115200, platform());
    ASSERT_NE(port, nullptr);
    using C = SerialCall;
    EXPECT_THAT(device->callSequence(),
                ElementsAre(C::open, C::getState, C::setState, C::getState, C::setTimeouts,
                            C::setTimeouts, C::setState, C::setState, C::setState, C::setState,
                            C::setState, C::setState, C::setTimeouts, C::setTimeouts,
                            C::setTimeouts, C::getTimeouts, C::setTimeouts));
    EXPECT_EQ(device->calls().front().path, "/dev/fake/COM3");
    const COMMTIMEOUTS last = device->timeoutsGiven().back();
    EXPECT_EQ(last, (COMMTIMEOUTS{MAXDWORD, MAXDWORD, 4, 0, 0}));
    EXPECT_EQ(port->timeouts(), last);
}

TEST_F(TSerieFake, StandardLinkLeavesA8N1BlockWithLinesAndFlowOff) {
    DCB initial;
    initial.XonLim = 2048;
    initial.XoffLim = 512;
    initial.fDtrControl = DTR_CONTROL_ENABLE;
    initial.fOutX = true;
    device->setInitialState(initial);
    auto port = createSerialPort(3, 115200, platform());
    ASSERT_NE(port, nullptr);
    const auto states = device->statesGiven();
    ASSERT_EQ(states.size(), 7u);
    const DCB& base = states.front();
    EXPECT_EQ(base.BaudRate, 19200u);
    EXPECT_EQ(base.XonLim, 2048);  // kept as the device reported it
    EXPECT_EQ(base.XoffLim, 512);
    EXPECT_EQ(base.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_FALSE(base.fOutX);
    EXPECT_EQ(base.XonChar, 0x11);
    EXPECT_EQ(base.XoffChar, 0x13);
    EXPECT_EQ(base.EofChar, 0x1A);

    const DCB& last = states.back();
    EXPECT_EQ(last.BaudRate, 115200u);
    EXPECT_EQ(last.ByteSize, 8);
    EXPECT_EQ(last.Parity, NOPARITY);
    EXPECT_EQ(last.StopBits, ONESTOPBIT);
    EXPECT_TRUE(last.fBinary);
    EXPECT_FALSE(last.fParity);
    EXPECT_FALSE(last.fOutxCtsFlow || last.fOutxDsrFlow || last.fOutX || last.fInX);
    EXPECT_EQ(last.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(last.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(last.XonLim, 0);
    EXPECT_EQ(port->controlBlock(), last);
}

struct Refusal {
    std::uint8_t dataBits, parity, stopBits;
    const char* text;
    std::size_t statesBefore;  // control blocks given before the refused step
};

class TSerieRefusal : public TSerieFake, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TSerieRefusal, RaisesItsTextGivesNoBlockAndClosesTheDevice) {
    const Refusal r = GetParam();
    EXPECT_EQ(textErrorOf([&] { make(r.dataBits, r.parity, r.stopBits); }), r.text);
    EXPECT_EQ(device->statesGiven().size(), r.statesBefore);
    EXPECT_EQ(device->callSequence().back(), SerialCall::close);
    EXPECT_FALSE(device->isOpen());
}

INSTANTIATE_TEST_SUITE_P(Arguments, TSerieRefusal,
                         ::testing::Values(Refusal{3, 0, 1, "invalid number of bit", 2},
                                           Refusal{9, 0, 1, "invalid number of bit", 2},
                                           Refusal{8, 4, 1, "invalid parity", 3},
                                           Refusal{8, 0, 0, "invalid stop bits", 4},
                                           Refusal{8, 0, 3, "invalid stop bits", 4}));

TEST_F(TSerieFake, SetterRefusalKeepsTheBlockAndSkipsTheDevice) {
    auto port = make();
    const DCB before = port->controlBlock();
    const auto callsBefore = device->calls().size();
    EXPECT_FALSE(port->setDataBits(9));
    EXPECT_FALSE(port->setParity(SPACEPARITY));
    EXPECT_FALSE(port->setStopBits(0));
    EXPECT_EQ(port->controlBlock(), before);
    EXPECT_EQ(device->calls().size(), callsBefore);
}

TEST_F(TSerieFake, DeviceRefusalRaisesThePlatformCodeAndClosesTheDevice) {
    device->failOn(SerialCall::setState, 3, EINVAL);  // data bits, after base and speed
    try {
        make();
        FAIL() << "no error raised";
    } catch (const SerialCodeError& e) {
        EXPECT_EQ(e.code(), static_cast<DWORD>(EINVAL));
    }
    EXPECT_EQ(device->callSequence().back(), SerialCall::close);
    EXPECT_FALSE(device->isOpen());
}

TEST_F(TSerieFake, OpenFailureNamesCodeAndPath) {
    device->failOn(SerialCall::open, 1, ENOENT);
    EXPECT_EQ(textErrorOf([&] { make(); }), "Error # 2 opening /dev/fake/COM3 :");
    EXPECT_THAT(device->callSequence(), ElementsAre(SerialCall::open));

    auto first = make();
    EXPECT_EQ(textErrorOf([&] { make(); }), "Error # 16 opening /dev/fake/COM3 :");
}

TEST_F(TSerieFake, UnresolvedPortNumberFailsWithItsComName) {
    if (!kLinuxWords) GTEST_SKIP() << kNotLinux;
    auto platform = testing::fakeSerialPlatform(device, [](std::uint8_t) { return std::string(); });
    std::string why;
    EXPECT_EQ(createSerialPort(12, 9600, platform, &why), nullptr);
    EXPECT_THAT(why, HasSubstr("Error # 2 opening COM12 :"));
    EXPECT_THAT(why, HasSubstr("No such file or directory"));
    EXPECT_TRUE(device->calls().empty());
}

TEST_F(TSerieFake, PortNumbersAboveNineUseTheSamePathForm) {
    TSerie port(12, 9600, 8, 0, 1, false, false, true, platform());
    EXPECT_EQ(port.devicePath(), "/dev/fake/COM12");
    EXPECT_EQ(port.portNumber(), 12);
}

TEST_F(TSerieFake, LaterStepsOfOpenRaiseErrorOpening) {
    for (const auto call : {SerialCall::getState, SerialCall::setState, SerialCall::setTimeouts}) {
        device = std::make_shared<FakeSerialDevice>();
        device->failOn(call, 1, EIO);
        EXPECT_EQ(textErrorOf([&] { make(); }), "error opening ") << testing::callName(call);
        EXPECT_EQ(device->callSequence().back(), SerialCall::close);
    }
}

TEST_F(TSerieFake, TimeoutStepsRaiseInvalidTimeouts) {
    for (const int occurrence : {3, 4, 5}) {  // step 10 write, step 10 read, non-blocking read
        device = std::make_shared<FakeSerialDevice>();
        device->failOn(SerialCall::setTimeouts, occurrence, EIO);
        EXPECT_EQ(textErrorOf([&] { make(); }), "invalid timeouts") << occurrence;
        EXPECT_FALSE(device->isOpen());
    }
}

TEST_F(TSerieFake, StandardLinkTurnsEitherErrorKindIntoNull) {
    if (!kLinuxWords) GTEST_SKIP() << kNotLinux;
    std::string why;
    device->failOn(SerialCall::setState, 2, EINVAL);
    EXPECT_EQ(createSerialPort(3, 115200, platform(), &why), nullptr);
    EXPECT_THAT(why, HasSubstr("COM3 (/dev/fake/COM3)"));
    EXPECT_THAT(why, HasSubstr("Invalid argument"));

    device->failOn(SerialCall::open, 1, EACCES);
    EXPECT_EQ(createSerialPort(3, 115200, platform(), &why), nullptr);
    EXPECT_THAT(why,
                StartsWith("Error # 13 opening /dev/fake/COM3 : Permission denied (errno 13); "));
    EXPECT_THAT(why, EndsWith("; serial devices usually belong to the group dialout: add "
                              "yourself with \"sudo usermod -aG dialout $USER\", then log out "
                              "and in again (the group counts only from a new log-in)"));
}

TEST_F(TSerieFake, StopBitsMapToTheBlockValues) {
    EXPECT_EQ(make(8, 0, 2)->controlBlock().StopBits, TWOSTOPBITS);
    EXPECT_EQ(device->statesGiven().back().StopBits, TWOSTOPBITS);
    EXPECT_EQ(make(8, 0, 1)->controlBlock().StopBits, ONESTOPBIT);
}

TEST_F(TSerieFake, OddBaudRateIsPassedThroughUnchanged) {
    auto port = make(8, 0, 1, 123457);
    EXPECT_EQ(port->getBaudRate(), 123457u);
    EXPECT_EQ(device->statesGiven()[1].BaudRate, 123457u);
}

TEST_F(TSerieFake, FlowControlSettersWriteTheirFields) {
    auto port = make();
    port->setHardwareFlowControl(true);
    port->setXonXoffControl(true);
    DCB on = device->statesGiven().back();
    EXPECT_TRUE(on.fOutxCtsFlow && on.fOutxDsrFlow && on.fOutX && on.fInX);
    EXPECT_EQ(on.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(on.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(on.XonLim, 500);
    EXPECT_EQ(on.XoffLim, 500);
    EXPECT_FALSE(on.fBinary);
    port->setHardwareFlowControl(false);
    port->setXonXoffControl(false);
    DCB off = device->statesGiven().back();
    EXPECT_FALSE(off.fOutxCtsFlow || off.fOutxDsrFlow || off.fOutX || off.fInX);
    EXPECT_EQ(off.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_TRUE(off.fBinary);
    EXPECT_EQ(off.XonLim, 0);
}

TEST_F(TSerieFake, CloseTwiceReturnsFalseTheSecondTime) {
    auto port = make();
    EXPECT_TRUE(port->close());
    EXPECT_FALSE(port->close());
    EXPECT_FALSE(device->isOpen());
    DWORD n = 7;
    char byte;
    EXPECT_FALSE(port->read(&byte, 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port->lastError(), static_cast<DWORD>(EBADF));
}

TEST_F(TSerieFake, PendingOperationLeavesTheCounterUntilItCompletes) {
    auto port = make();
    device->setPending(true);
    ManualResetEvent done;
    Overlapped ov{&done};
    char buffer[8];
    DWORD n = 5;
    EXPECT_FALSE(port->read(buffer, sizeof buffer, &n, &ov));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port->lastError(), ERROR_IO_PENDING);
    DWORD counter = 77;
    EXPECT_TRUE(port->getOverlappedResult(&ov, &counter, false));
    EXPECT_EQ(counter, 77u);

    ASSERT_TRUE(device->completePending(6));
    EXPECT_TRUE(done.isSet());
    EXPECT_TRUE(port->getOverlappedResult(&ov, &counter, false));
    EXPECT_EQ(counter, 6u);

    EXPECT_FALSE(port->write("x", 1, &n, &ov));
    ASSERT_TRUE(device->completePending(0, EIO));
    EXPECT_FALSE(port->getOverlappedResult(&ov, &counter, false));
    EXPECT_EQ(port->lastError(), static_cast<DWORD>(EIO));
    EXPECT_EQ(counter, 6u);
}

TEST_F(TSerieFake, ReadAndWriteMoveBytesAndZeroTheCounterFirst) {
    auto port = make();
    device->feed("abc");
    char buffer[8];
    DWORD n = 99;
    ASSERT_TRUE(port->read(buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abc");
    ASSERT_TRUE(port->write("hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(device->takeWritten(), "hello");
    device->failOn(SerialCall::write, 1, EIO);
    n = 99;
    EXPECT_FALSE(port->write("x", 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port->lastError(), static_cast<DWORD>(EIO));
}

TEST(SerialErrors, DeviceLostCodes) {
    if (!kLinuxWords) GTEST_SKIP() << kNotLinux;
    for (const int code : {EIO, ENXIO, ENODEV}) EXPECT_TRUE(isDeviceLostError(code)) << code;
    for (const int code : {0, EAGAIN, EBUSY, EACCES, ENOENT, static_cast<int>(ERROR_IO_PENDING)}) {
        EXPECT_FALSE(isDeviceLostError(code)) << code;
    }
}

}  // namespace
}  // namespace tidewell
