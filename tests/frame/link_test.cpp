// The frame as owner of the link: connect, disconnect, port and speed, worker
// commands, transfers and their refusals, the command bar's Send. Serial
// traffic goes to a fake device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "frame_env.h"
#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/resources/ids.h"
#include "tidewell/testsupport/watchdog.h"

namespace tidewell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::Watchdog;
using namespace std::chrono_literals;

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = env.makeTerminalFrame();
        ASSERT_TRUE(frame);
    }
    std::vector<std::string> log() { return FrameEnv::logLines(*frame); }
    // Clicks Send on the command bar with text in its edit field.
    void send(const std::string& text) {
        env.user().type(frame->getCommandBar(), res::IDC_COMMAND_EDIT, text);
        env.user().click(frame->getCommandBar(), res::IDC_SEND);
        ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    }

    FrameEnv env;
    std::unique_ptr<CountingFrame> frame;
};

TEST_F(LinkTest, ConnectOpensThePortStartsAnIdleWorkerAndLogsTheRate) {
    EXPECT_EQ(frame->getCommPort(), 1);  // nothing saved: COM1
    EXPECT_EQ(frame->getWorkerCommand(), cmdNone);
    EXPECT_TRUE(frame->connectPort());
    EXPECT_TRUE(frame->isConnected());
    ASSERT_NE(frame->getWorker(), nullptr);
    EXPECT_EQ(frame->getWorkerCommand(), cmdIdle);
    EXPECT_TRUE(env.device().isOpen());
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds."));
}

// Each connection starts a trace beside the settings; the oldest traces go so that
// five remain with it, and nothing else in their folder is touched.
TEST_F(LinkTest, EachConnectionKeepsATraceOfWhichTheNewestFiveRemain) {
    const auto traces = env.dir() / "traces";
    std::filesystem::create_directories(traces);
    for (const char* name : {"2020-01-01_000000-COM1.trace", "2020-01-01_000000-COM1-2.trace",
                             "2020-01-01_000000-COM1-3.trace", "2021-06-30_235959-COM12.trace",
                             "2022-01-01_000000-COM1.trace", "2023-01-01_000000-COM4.trace",
                             "notes.txt", "2019-01-01_000000-COM1.trace.txt"}) {
        writeFile(traces / name, "before");
    }
    ASSERT_TRUE(frame->connectPort());
    frame->disconnectPort();
    const std::string current = frame->getTracePath().filename().string();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(traces)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names,
                ElementsAre("2019-01-01_000000-COM1.trace.txt", "2020-01-01_000000-COM1-3.trace",
                            "2021-06-30_235959-COM12.trace", "2022-01-01_000000-COM1.trace",
                            "2023-01-01_000000-COM4.trace", current, "notes.txt"));
    EXPECT_THAT(current,
                ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6}-COM1\\.trace"));
    EXPECT_THAT(readFile(traces / current), ::testing::HasSubstr("\n# port COM1 "));
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.",
                                   "Communication port disconnected."));
}

TEST_F(LinkTest, WithoutRoomForATraceTheConnectionGoesOnWithoutOne) {
    writeFile(env.dir() / "traces", "a file where the folder would be");
    ASSERT_TRUE(frame->connectPort());
    EXPECT_TRUE(frame->getTracePath().empty());
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds."));
}

TEST_F(LinkTest, ConnectWhileConnectedKeepsTheWorkerAndLogsNothing) {
    ASSERT_TRUE(frame->connectPort());
    CTidewellThread* worker = frame->getWorker();
    EXPECT_TRUE(frame->connectPort());
    EXPECT_EQ(frame->getWorker(), worker);
    EXPECT_EQ(log().size(), 1u);
}

TEST_F(LinkTest, AFailedConnectLogsThePortAndTheReasonAndStaysDisconnected) {
    env.setMissingPorts({1});
    EXPECT_FALSE(frame->connectPort());
    EXPECT_FALSE(frame->isConnected());
    EXPECT_EQ(frame->getWorker(), nullptr);
    EXPECT_FALSE(frame->sendWorkerCommand(cmdDetect));
    const auto lines = log();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Unable to connect to communication port 1");
    EXPECT_THAT(lines[1], ::testing::HasSubstr("COM1"));
}

TEST_F(LinkTest, APortRefusedForPermissionLogsTheCommandThatGivesAccess) {
    env.device().failOn(SerialCall::open, 1, EACCES);
    EXPECT_FALSE(frame->connectPort());
    const auto lines = log();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[1], ::testing::HasSubstr("Permission denied"));
    EXPECT_THAT(lines[1], ::testing::HasSubstr("\"sudo usermod -aG dialout $USER\", then log out "
                                               "and in again"));
}

TEST_F(LinkTest, DisconnectLogsOnceAndClosesThePortAfterTheWorker) {
    ASSERT_TRUE(frame->connectPort());
    frame->disconnectPort();
    frame->disconnectPort();
    EXPECT_FALSE(frame->isConnected());
    EXPECT_EQ(frame->getWorker(), nullptr);
    EXPECT_FALSE(env.device().isOpen());
    EXPECT_EQ(frame->getWorkerCommand(), cmdNone);
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.",
                                   "Communication port disconnected."));
}

TEST_F(LinkTest, TheSamePortOrSpeedChangesNothing) {
    ASSERT_TRUE(frame->connectPort());
    frame->selectPort(1);
    frame->selectSpeed(115200);
    EXPECT_TRUE(frame->isConnected());
    EXPECT_EQ(log().size(), 1u);
}

TEST_F(LinkTest, AnotherPortOrSpeedDisconnectsOnceAndDoesNotReconnect) {
    ASSERT_TRUE(frame->connectPort());
    frame->selectPort(3);
    EXPECT_FALSE(frame->isConnected());
    EXPECT_EQ(frame->getCommPort(), 3);
    ASSERT_TRUE(frame->connectPort());
    frame->selectSpeed(9600);
    EXPECT_FALSE(frame->isConnected());
    EXPECT_EQ(frame->getSpeed(), 9600);
    ASSERT_TRUE(frame->connectPort());
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.",
                                   "Communication port disconnected.",
                                   "Success connecting to COM3 at 115200 bauds.",
                                   "Communication port disconnected.",
                                   "Success connecting to COM3 at 9600 bauds."));
}

TEST_F(LinkTest, PortsOutsideOneToSixteenAndUnlistedSpeedsAreIgnoredWithoutALine) {
    ASSERT_TRUE(frame->connectPort());
    for (int port : {0, 17, 255}) {
        frame->selectPort(static_cast<std::uint8_t>(port));
    }
    for (int baud : {0, 1200, 4800, 115201, -9600, 230400}) {
        frame->selectSpeed(baud);
    }
    EXPECT_TRUE(frame->isConnected());
    EXPECT_EQ(frame->getCommPort(), 1);
    EXPECT_EQ(frame->getSpeed(), 115200);
    frame->selectPort(16);
    EXPECT_EQ(frame->getCommPort(), 16);
    EXPECT_EQ(log().size(), 2u);
}

TEST_F(LinkTest, DetectTerminalAndSendDoNothingWhileDisconnected) {
    frame->OnDetect();
    frame->OnTerminal();
    send("help");
    EXPECT_THAT(log(), IsEmpty());
    EXPECT_THAT(env.platform().messageBoxes(), IsEmpty());
}

// ---- transfers ------------------------------------------------------------------------

// A log view that takes its time over "Uploading..." (as a real one drawing a long
// log can), until the worker has taken up the upload and reads the device.
class SlowLogPeer : public ui::WindowPeer {
  public:
    explicit SlowLogPeer(FakeSerialDevice& device) : device_(device) {}
    void textAppended(std::string_view piece) override {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (piece.starts_with("Uploading") && !readsFromDevice() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
    }

  private:
    bool readsFromDevice() const {
        const auto calls = device_.callSequence();
        return std::find(calls.begin(), calls.end(), SerialCall::read) != calls.end();
    }
    FakeSerialDevice& device_;
};

class TransferRefusalTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        package = env.dir() / "firmware.pkg";
        writeFile(package, "package");
    }
    void expectNothingMoreThan(std::size_t lines) {
        EXPECT_EQ(log().size(), lines);
        EXPECT_THAT(env.platform().messageBoxes(), IsEmpty());
    }
    std::filesystem::path package;
};

// Closing the terminal window while its own download runs asks first: No keeps
// both; Yes stops the download, removes what it received, and closes.
TEST_F(TransferRefusalTest, ClosingTheWindowDuringItsDownloadAsksFirst) {
    const auto backups = env.dir() / "backups";
    std::filesystem::create_directories(backups);
    env.app().setSettingPath(backups.string());
    auto entries = [&] {
        return std::distance(std::filesystem::directory_iterator(backups),
                             std::filesystem::directory_iterator());
    };
    ASSERT_TRUE(frame->connectPort());
    Chatter chatter(env.device());  // the download stays in its first flush
    const std::string question = "A transfer is running. Stop it?";
    env.user()
        .chooseMenu(res::ID_COMM_DOWNLOAD)
        .answerFileDialog((backups / "setting_1.bak").string())
        .closeFrame()
        .answerMessageBox(ui::IDNO, question)
        .run([&] { EXPECT_TRUE(frame->isTransferRunning()); })
        .closeFrame()
        .answerMessageBox(ui::IDYES, question);
    ASSERT_TRUE(env.platform().runScript()) << env.user().report();
    EXPECT_FALSE(frame->IsWindow());
    EXPECT_EQ(entries(), 0);
}

TEST_F(TransferRefusalTest, WhileDisconnectedNothingHappens) {
    frame->setTransferFile(package.string());
    frame->startUpload("flashimage");
    frame->startDownload("setting");
    expectNothingMoreThan(0);
}

TEST_F(TransferRefusalTest, WithAnEmptyTransferFileOrDeviceFileNothingHappens) {
    ASSERT_TRUE(frame->connectPort());
    frame->startUpload("flashimage");
    frame->startDownload("setting");
    frame->setTransferFile(package.string());
    frame->startUpload("");
    frame->startDownload("");
    expectNothingMoreThan(1);
    EXPECT_EQ(frame->getWorkerCommand(), cmdIdle);
}

TEST_F(TransferRefusalTest, WhileDetectingOrLoggingInNothingHappens) {
    ASSERT_TRUE(frame->connectPort());
    frame->setTransferFile(package.string());
    frame->OnDetect();
    EXPECT_EQ(frame->getWorkerCommand(), cmdDetect);
    frame->startUpload("flashimage");
    frame->startDownload("setting");
    expectNothingMoreThan(2);

    // The device answers the wake-up bytes: the frame goes on to the log-in.
    env.device().feed(":LOGIN:\r\n");
    ASSERT_TRUE(env.pumpUntil([&] { return frame->getWorkerCommand() == cmdLogin; }));
    frame->startUpload("flashimage");
    frame->startDownload("setting");
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.",
                                   "Detecting device...", "Device Detected", "Logging..."));
    EXPECT_THAT(env.platform().messageBoxes(), IsEmpty());
}

TEST_F(TransferRefusalTest, ALineTheWorkerRefusesShowsTheBoxAndReturnsToTerminal) {
    ASSERT_TRUE(frame->connectPort());
    // A line typed before any terminal mode waits in the worker's one-line slot.
    send("hello");
    frame->setTransferFile(package.string());
    {
        // The upload session takes the waiting line as its own and first flushes
        // the input, for as long as the device talks: going back to terminal mode
        // must end that session, not wait for it.
        frame->getLogView().setPeer(std::make_unique<SlowLogPeer>(env.device()));
        Chatter chatter(env.device());
        Watchdog watchdog(20s, [&] { chatter.stop(); });
        frame->startUpload("flashimage");
        watchdog.disarm();
        EXPECT_FALSE(watchdog.fired()) << "the window waited for the upload session";
    }
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    ASSERT_EQ(env.platform().messageBoxes().size(), 1u);
    const auto& box = env.platform().messageBoxes()[0];
    EXPECT_EQ(box.text, "Can't start upload.");
    EXPECT_EQ(box.caption, "tidewell");
    EXPECT_EQ(box.type, ui::MB_OK);
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.", "CMD: hello",
                                   "Uploading..."));
    // The waiting line goes out (as the transfer's device line, or from the terminal).
    std::string written;
    EXPECT_TRUE(env.pumpUntil([&] {
        written += env.device().takeWritten();
        return written.find('\r') != std::string::npos;
    }));
    EXPECT_EQ(written, "hello\r");
}

TEST_F(TransferRefusalTest, ARefusedDownloadLineShowsItsOwnBox) {
    ASSERT_TRUE(frame->connectPort());
    send("waiting");
    frame->setTransferFile((env.dir() / "setting.bak").string());
    frame->startDownload("setting");
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    ASSERT_EQ(env.platform().messageBoxes().size(), 1u);
    EXPECT_EQ(env.platform().messageBoxes()[0].text, "Can't start download.");
    EXPECT_EQ(log().back(), "Downloading...");
}

TEST_F(TransferRefusalTest, AnAcceptedUploadCancelsTheTerminalAndQueuesTheDeviceLine) {
    ASSERT_TRUE(frame->connectPort());
    frame->OnTerminal();
    frame->setTransferFile(package.string());
    frame->startUpload("flashimage");
    EXPECT_EQ(frame->getWorkerCommand(), cmdUpload);
    EXPECT_THAT(env.platform().messageBoxes(), IsEmpty());
    ASSERT_TRUE(env.pumpUntil([&] {
        return env.device().takeWritten().find("download flashimage\r") != std::string::npos;
    }));
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.", "Terminal mode.",
                                   "Uploading..."));
}

TEST_F(TransferRefusalTest, TheTransferFileOpensOnlyWhenItIsAReadableFile) {
    EXPECT_FALSE(frame->canOpenTransferFile());
    EXPECT_TRUE(frame->setTransferFile((env.dir() / "missing.pkg").string()));
    EXPECT_FALSE(frame->canOpenTransferFile());
    frame->setTransferFile(env.dir().string());
    EXPECT_FALSE(frame->canOpenTransferFile());
    // No writer ever comes: a check that waited for one would hang here.
    const auto fifo = env.dir() / "fifo.pkg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    frame->setTransferFile(fifo.string());
    EXPECT_FALSE(frame->canOpenTransferFile());
    frame->setTransferFile(package.string());
    EXPECT_TRUE(frame->canOpenTransferFile());
    EXPECT_EQ(frame->getTransferFile(), package.string());
}

TEST_F(TransferRefusalTest, QuickCommandsOneAfterAnotherNeverLeaveTheWindowWaiting) {
    // Terminal, then Detect or Upload at once: the cancel of the second must end the
    // first even when the worker had not yet taken it up.
    ASSERT_TRUE(frame->connectPort());
    frame->setTransferFile(package.string());
    CTidewellThread* worker = frame->getWorker();
    Watchdog watchdog(30s, [worker] { worker->cancel(); });
    for (int i = 0; i < 100; ++i) {
        frame->OnTerminal();
        if (i % 2 == 0) {
            frame->OnDetect();
            frame->OnTerminal();
        } else {
            frame->startUpload("flashimage");
        }
    }
    watchdog.disarm();
    EXPECT_FALSE(watchdog.fired()) << "a command waited for one that nobody had cancelled";
}

// ---- the command bar ----------------------------------------------------------------

TEST_F(LinkTest, SendLogsTheLineAndKeepsItInTheField) {
    ASSERT_TRUE(frame->connectPort());
    frame->OnTerminal();
    send("help");
    EXPECT_EQ(frame->getCommandBar().GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText(), "help");
    ASSERT_TRUE(env.pumpUntil([&] { return !env.device().takeWritten().empty(); }));
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.", "Terminal mode.",
                                   "CMD: help"));
}

TEST_F(LinkTest, AnEmptyLineLogsTheBarePrefixAndSendsNothing) {
    ASSERT_TRUE(frame->connectPort());
    frame->OnTerminal();
    send("");
    send("x");
    std::string written;
    ASSERT_TRUE(env.pumpUntil([&] {
        written += env.device().takeWritten();
        return written.find('\r') != std::string::npos;
    }));
    EXPECT_EQ(written, "x\r");
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.", "Terminal mode.",
                                   "CMD: ", "CMD: x"));
}

TEST_F(LinkTest, ASecondSendBeforeTheFirstLineWentOutIsRefusedWithTheBox) {
    ASSERT_TRUE(frame->connectPort());
    send("first");  // idle: the line waits in the worker
    send("second");
    ASSERT_EQ(env.platform().messageBoxes().size(), 1u);
    const auto& box = env.platform().messageBoxes()[0];
    EXPECT_EQ(box.text, "Can't send command");
    EXPECT_EQ(box.caption, "OnSendButton()");
    EXPECT_EQ(box.type, ui::MB_OK);
    EXPECT_THAT(log(), ElementsAre("Success connecting to COM1 at 115200 bauds.", "CMD: first"));
    EXPECT_EQ(frame->getCommandBar().GetDlgItem(res::IDC_COMMAND_EDIT).GetWindowText(), "second");
}

TEST_F(LinkTest, DestroyingTheFrameStopsTheWorkerAndClosesThePortWithoutALine) {
    ASSERT_TRUE(frame->connectPort());
    frame->OnTerminal();
    const auto before = log().size();
    frame->DestroyWindow();
    EXPECT_EQ(frame->getWorker(), nullptr);
    EXPECT_FALSE(env.device().isOpen());
    EXPECT_EQ(log().size(), before);
    frame.reset();
}

}  // namespace
}  // namespace tidewell::testing
