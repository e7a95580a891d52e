// The Win32 backend on a recording of its Win32 calls: the standard link's calls in
// order, the open failure's text, and the reads under Windows and under wine.
#include "tidewell/serial/win32_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tidewell/serial/event.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

constexpr Win32Comm::Handle kPortHandle = 0x44;

// One scripted result of ReadFile or GetOverlappedResult: ok, bytes, last error.
struct Step {
    bool ok = true;
    DWORD bytes = 0;
    DWORD error = ERROR_SUCCESS;
};

struct Recording {
    std::vector<std::string> calls;
    std::string path;
    std::vector<COMMTIMEOUTS> timeoutsGiven;
    std::vector<Win32Comm::Handle> closed;
    std::string wineVersion;
    DWORD createError = ERROR_SUCCESS;
    std::deque<Step> reads;
    std::deque<Step> results;
    bool readEventSet = false;
};

class RecordingComm final : public Win32Comm {
  public:
    explicit RecordingComm(std::shared_ptr<Recording> r) : r_(std::move(r)) {}

    Handle createFileA(const std::string& path) override {
        note("CreateFileA");
        r_->path = path;
        return r_->createError == ERROR_SUCCESS ? kPortHandle : failWith(r_->createError);
    }
    bool getCommState(Handle, DCB& dcb) override {
        note("GetCommState");
        dcb = held_;
        return succeed();
    }
    bool setCommState(Handle, const DCB& dcb) override {
        note("SetCommState");
        held_ = dcb;
        return succeed();
    }
    bool getCommTimeouts(Handle, COMMTIMEOUTS& timeouts) override {
        note("GetCommTimeouts");
        timeouts = r_->timeoutsGiven.empty() ? COMMTIMEOUTS{} : r_->timeoutsGiven.back();
        return succeed();
    }
    bool setCommTimeouts(Handle, const COMMTIMEOUTS& timeouts) override {
        note("SetCommTimeouts");
        r_->timeoutsGiven.push_back(timeouts);
        return succeed();
    }
    bool readFile(Handle, void*, DWORD, DWORD* moved, IoSlot) override {
        note("ReadFile");
        return play(r_->reads, moved);
    }
    bool writeFile(Handle, const void*, DWORD count, DWORD* moved, IoSlot) override {
        note("WriteFile");
        *moved = count;
        return succeed();
    }
    bool getOverlappedResult(Handle, IoSlot, DWORD* moved, bool wait) override {
        note(wait ? "GetOverlappedResult(wait)" : "GetOverlappedResult");
        return play(r_->results, moved);
    }
    bool waitForSingleObject(IoSlot, DWORD milliseconds) override {
        note("WaitForSingleObject(" + std::to_string(milliseconds) + ")");
        return r_->readEventSet;
    }
    bool cancelIo(Handle) override {
        note("CancelIo");
        return succeed();
    }
    bool closeHandle(Handle handle) override {
        note("CloseHandle");
        r_->closed.push_back(handle);
        return handle == kPortHandle ? succeed() : failWith(6) == 0;
    }
    DWORD getLastError() override { return error_; }
    std::string wineVersion() override { return r_->wineVersion; }

  private:
    void note(const std::string& call) { r_->calls.push_back(call); }
    bool succeed() {
        error_ = ERROR_SUCCESS;
        return true;
    }
    Handle failWith(DWORD error) {
        error_ = error;
        return kInvalidHandle;
    }
    bool play(std::deque<Step>& steps, DWORD* moved) {
        const Step step = steps.empty() ? Step{} : steps.front();
        if (!steps.empty()) steps.pop_front();
        *moved = step.bytes;
        error_ = step.error;
        return step.ok;
    }

    std::shared_ptr<Recording> r_;
    DCB held_{};
    DWORD error_ = ERROR_SUCCESS;
};

struct Win32BackendRecording : ::testing::Test {
    std::shared_ptr<Recording> recording = std::make_shared<Recording>();

    SerialPlatform platform() {
        return SerialPlatform{
            [r = recording] { return makeWin32Backend(std::make_unique<RecordingComm>(r)); },
            win32DevicePath};
    }

    std::unique_ptr<TSerie> link(std::uint8_t portNumber = 12, std::string* whyNot = nullptr) {
        auto port = createSerialPort(portNumber, 115200, platform(), whyNot);
        recording->calls.clear();
        return port;
    }

    // One read through the port as the engine starts it.
    bool readOnce(TSerie& port, DWORD& count) {
        ManualResetEvent event;
        Overlapped overlapped;
        overlapped.hEvent = &event;
        char buffer[16];
        const bool ok = port.read(buffer, sizeof buffer, &count, &overlapped);
        EXPECT_TRUE(event.isSet());
        return ok;
    }
};

TEST_F(Win32BackendRecording, StandardLinkMakesExactlyTheseCallsInOrder) {
    auto port = createSerialPort(12, 115200, platform());
    ASSERT_NE(port, nullptr);
    EXPECT_THAT(recording->calls,
                ElementsAre("CreateFileA", "GetCommState", "SetCommState", "GetCommState",
                            "SetCommTimeouts", "SetCommTimeouts", "SetCommState", "SetCommState",
                            "SetCommState", "SetCommState", "SetCommState", "SetCommState",
                            "SetCommTimeouts", "SetCommTimeouts", "SetCommTimeouts",
                            "GetCommTimeouts", "SetCommTimeouts"));
    EXPECT_EQ(recording->path, "\\\\.\\COM12");
    EXPECT_EQ(recording->timeoutsGiven.back(), (COMMTIMEOUTS{MAXDWORD, MAXDWORD, 4, 0, 0}));

    recording->calls.clear();
    EXPECT_TRUE(port->close());
    EXPECT_FALSE(port->close());
    EXPECT_THAT(recording->closed, ElementsAre(kPortHandle, 0u));
}

TEST_F(Win32BackendRecording, PortWithNothingBehindItGivesTheErrorNumberAndPath) {
    recording->createError = 2;
    std::string why;
    EXPECT_EQ(link(9, &why), nullptr);
    EXPECT_THAT(why, StartsWith("Error # 2 opening \\\\.\\COM9 :"));
}

// ReadFile's and GetOverlappedResult's results in turn, and what the port makes of them.
struct ReadCase {
    const char* name;
    std::string wineVersion;
    bool nonBlocking;
    std::vector<Step> reads;
    std::vector<Step> results;
    bool readEventSet;
    std::vector<std::string> calls;
    bool ok;
    DWORD count;
    DWORD error;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

struct Win32BackendRead : Win32BackendRecording, ::testing::WithParamInterface<ReadCase> {};

TEST_P(Win32BackendRead, CompletesAsTheSystemAllows) {
    const ReadCase& c = GetParam();
    recording->wineVersion = c.wineVersion;
    auto port = link();
    ASSERT_NE(port, nullptr);
    if (c.nonBlocking) port->setNonBlockingRead();
    recording->calls.clear();
    recording->reads.assign(c.reads.begin(), c.reads.end());
    recording->results.assign(c.results.begin(), c.results.end());
    recording->readEventSet = c.readEventSet;

    DWORD count = 99;
    EXPECT_EQ(readOnce(*port, count), c.ok);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(port->lastError(), c.error);
    EXPECT_THAT(recording->calls, ElementsAreArray(c.calls));
}

const Step kPending{false, 0, ERROR_IO_PENDING};
const Step kTimedOut{false, 0, ERROR_TIMEOUT};
const Step kAborted{false, 0, ERROR_OPERATION_ABORTED};

const std::vector<std::string> kWaited = {"ReadFile", "GetOverlappedResult(wait)"};

// name, wine version, non-blocking, ReadFile's, GetOverlappedResult's, read event set,
// the calls, then what the read gives: ok, count, last error.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Win32BackendRead, ::testing::Values(
    ReadCase{"WindowsWaitsForThePendingRead", "", false, {kPending}, {{true, 3}}, false,
             kWaited, true, 3, ERROR_SUCCESS},
    ReadCase{"WindowsTakesATimeOutForAFailure", "", false, {kPending}, {kTimedOut}, false,
             kWaited, false, 0, ERROR_TIMEOUT},
    ReadCase{"WindowsNeverCancelsANonBlockingRead", "", true, {kPending}, {{true, 0}}, false,
             kWaited, true, 0, ERROR_SUCCESS},
    ReadCase{"WineTakesATimeOutForNoBytes", "8.0", false, {kPending}, {kTimedOut}, false,
             kWaited, true, 0, ERROR_SUCCESS},
    ReadCase{"WineCancelsAPendingNonBlockingRead", "8.0", true, {kPending}, {kAborted}, false,
             {"ReadFile", "WaitForSingleObject(0)", "CancelIo", "GetOverlappedResult(wait)"},
             true, 0, ERROR_SUCCESS},
    ReadCase{"WineKeepsANonBlockingReadThatCompleted", "8.0", true, {kPending}, {{true, 2}}, true,
             {"ReadFile", "WaitForSingleObject(0)", "GetOverlappedResult(wait)"},
             true, 2, ERROR_SUCCESS},
    ReadCase{"BufferedBytesNeedNoWait", "8.0", false, {{true, 5}}, {}, false,
             {"ReadFile"}, true, 5, ERROR_SUCCESS}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Win32BackendRecording, UnderWineTheReadWaitReachesTheDeviceAsWineHonoursIt) {
    recording->wineVersion = "8.0";
    auto port = link();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(recording->timeoutsGiven.back(), (COMMTIMEOUTS{1, 0, 4, 0, 0}));
    // The port keeps its own record.
    EXPECT_EQ(port->timeouts(), (COMMTIMEOUTS{MAXDWORD, MAXDWORD, 4, 0, 0}));
    ASSERT_TRUE(port->setReadWait(20));
    EXPECT_EQ(port->timeouts(), (COMMTIMEOUTS{MAXDWORD, MAXDWORD, 20, 0, 0}));
    EXPECT_EQ(recording->timeoutsGiven.back(), (COMMTIMEOUTS{1, 0, 20, 0, 0}));
}

}  // namespace
}  // namespace tidewell
