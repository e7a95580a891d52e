// What the frame does with the worker's notifications outside the wizard: text
// lines, progress lines, the result table by current command, late notifications
// of earlier commands, and the wizard-exit message.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "frame_env.h"
#include "tidewell/frame/worker_link.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/resources/ids.h"

namespace tidewell::testing {
namespace {

using ::testing::ElementsAre;

class RoutingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = env.makeTerminalFrame();
        ASSERT_TRUE(frame);
        package = env.dir() / "firmware.pkg";
        writeFile(package, "package");
    }
    std::vector<std::string> log() { return FrameEnv::logLines(*frame); }
    // Posts a notification as the worker would for the command with serial (by
    // default the last one given), and handles it.
    void notify(std::int32_t kind, std::intptr_t value, std::optional<std::uint32_t> serial = {}) {
        ASSERT_TRUE(ui::postMessage(frame->GetSafeHwnd(), WM_WORKER_NOTIFY,
                                    notifyWParam(kind, serial.value_or(frame->getCommandSerial())),
                                    value));
        env.platform().runPending();
    }
    // Connected, with the log cleared of the connect line.
    void connect() {
        ASSERT_TRUE(frame->connectPort());
        frame->getLogView().SetWindowText("");
    }

    FrameEnv env;
    std::unique_ptr<CountingFrame> frame;
    std::filesystem::path package;
};

TEST_F(RoutingTest, TextLinesGoToTheLogAsTheyCome) {
    notify(notifyText, reinterpret_cast<std::intptr_t>(new std::string("ls: 3 files")));
    notify(notifyText, reinterpret_cast<std::intptr_t>(new std::string("")));
    notify(notifyText, reinterpret_cast<std::intptr_t>(new std::string("setting :OK:")));
    EXPECT_THAT(log(), ElementsAre("ls: 3 files", "", "setting :OK:"));
}

TEST_F(RoutingTest, ALogInKeepsOnlyItsFirstLinesForTheRecords) {
    connect();
    frame->sendWorkerCommand(cmdLogin);
    const std::size_t sent = 4 * kMaxLoginLines;
    for (std::size_t i = 0; i < sent; ++i) {
        notify(notifyText, reinterpret_cast<std::intptr_t>(new std::string(std::to_string(i))));
    }
    ASSERT_EQ(frame->getLoginLines().size(), kMaxLoginLines);
    EXPECT_EQ(frame->getLoginLines().front(), "0");
    EXPECT_EQ(log().size(), sent);  // the log still shows every line
}

TEST_F(RoutingTest, ProgressOutsideTheWizardAddsAnRxLine) {
    notify(notifyProgress, 42);
    notify(notifyProgress, 100);
    EXPECT_THAT(log(),
                ElementsAre("RX: Transfer 42 % completed.", "RX: Transfer 100 % completed."));
}

TEST_F(RoutingTest, UnknownKindsAreIgnored) {
    notify(7, 1);
    notify(-1, 1);
    EXPECT_TRUE(log().empty());
}

TEST_F(RoutingTest, ResultsInIdleLoggedInAndTerminalStatesAreIgnored) {
    connect();
    notify(notifyResult, resDetected);
    notify(notifyResult, resTransferOk);
    EXPECT_EQ(frame->getWorkerCommand(), cmdIdle);
    ASSERT_TRUE(frame->sendWorkerCommand(cmdLoggedIn));
    notify(notifyResult, resLoggedIn);
    notify(notifyResult, resNoRemote);
    EXPECT_EQ(frame->getWorkerCommand(), cmdLoggedIn);
    frame->OnTerminal();
    notify(notifyResult, resDetected);
    notify(notifyResult, resTransferError);
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    EXPECT_THAT(log(), ElementsAre("Terminal mode."));
}

TEST_F(RoutingTest, AFailedDetectionOrLogInIsLoggedAndKeepsTheCommand) {
    connect();
    frame->OnDetect();
    notify(notifyResult, resStopped);
    EXPECT_EQ(frame->getWorkerCommand(), cmdDetect);
    env.device().feed(":LOGIN:\r\n");
    ASSERT_TRUE(env.pumpUntil([&] { return frame->getWorkerCommand() == cmdLogin; }));
    notify(notifyResult, resOpenError);
    EXPECT_EQ(frame->getWorkerCommand(), cmdLogin);
    EXPECT_THAT(log(), ElementsAre("Detecting device...", "Detection Error", "Device Detected",
                                   "Logging...", "Login Error"));
}

struct TransferCase {
    std::int32_t code;
    const char* line;  // nullptr: no line
};

class TransferResultTest : public RoutingTest,
                           public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferResultTest, AResultWhileTransferringLogsItsLineAndReturnsToTerminal) {
    connect();
    frame->setTransferFile(package.string());
    frame->startUpload("flashimage");
    ASSERT_EQ(frame->getWorkerCommand(), cmdUpload);
    notify(notifyResult, GetParam().code);
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    if (GetParam().line != nullptr) {
        EXPECT_THAT(log(), ElementsAre("Uploading...", GetParam().line));
    } else {
        EXPECT_THAT(log(), ElementsAre("Uploading..."));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frame, TransferResultTest,
    ::testing::Values(TransferCase{resOpenError, "Error opening file."},
                      TransferCase{resWriteError, "Error writing in file."},
                      TransferCase{resTooManyRetries, "Error: Too many retry."},
                      TransferCase{resTransferOk, "Transfer finished succesfully."},
                      TransferCase{resTransferError, "transfer error."},
                      TransferCase{resRemoteCancel, "transfer cancelled by remote."},
                      TransferCase{resNoRemote, "Remote transfer not detected."},
                      TransferCase{resStopped, nullptr}, TransferCase{12, nullptr},
                      TransferCase{resDetected, nullptr}));

TEST_F(RoutingTest, DownloadResultsUseTheSameTable) {
    connect();
    frame->setTransferFile((env.dir() / "setting.bak").string());
    frame->startDownload("setting");
    ASSERT_EQ(frame->getWorkerCommand(), cmdDownload);
    notify(notifyResult, resRemoteCancel);
    EXPECT_EQ(frame->getWorkerCommand(), cmdTerminal);
    EXPECT_THAT(log(), ElementsAre("Downloading...", "transfer cancelled by remote."));
}

// The log names why, as the worker tells it, below the result's own line.
TEST_F(RoutingTest, ATransferEndingWithoutSuccessLogsItsCause) {
    connect();
    frame->setTransferFile(package.string());
    frame->startUpload("flashimage");
    std::string written;
    ASSERT_TRUE(env.pumpUntil([&] {
        written += env.device().takeWritten();
        return written.find("flashimage\r") != std::string::npos;
    }));
    env.device().feed("no room :ERROR:\r\n");
    ASSERT_TRUE(env.pumpUntil([&] { return frame->getWorkerCommand() == cmdTerminal; }));
    const auto lines = log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "transfer error.");
    EXPECT_EQ(lines.back(), "The device refused \"" + written.substr(0, written.size() - 1) +
                                "\": no room :ERROR:");
}

TEST_F(RoutingTest, AResultOrProgressOfAnEarlierCommandIsDropped) {
    connect();
    frame->OnTerminal();
    ASSERT_TRUE(frame->sendWorkerCommand(cmdUpload));  // no line comes: it posts nothing
    const std::uint32_t earlier = frame->getCommandSerial() - 1u;
    notify(notifyResult, resTransferError, earlier);  // posted late by the ended command
    notify(notifyProgress, 50, earlier);
    EXPECT_EQ(frame->getWorkerCommand(), cmdUpload);
    EXPECT_THAT(log(), ElementsAre("Terminal mode."));
}

TEST_F(RoutingTest, WizardExitWithTheTerminalShownChangesNothing) {
    connect();
    ASSERT_TRUE(frame->PostMessage(WM_WIZARD_EXIT));
    env.platform().runPending();
    EXPECT_TRUE(frame->IsWindow());
    EXPECT_TRUE(frame->isConnected());
    EXPECT_TRUE(log().empty());
}

TEST_F(RoutingTest, WizardExitWithTheTerminalOffDisconnectsAndClosesTheFrame) {
    connect();
    env.app().setShowTerminal(false);
    ASSERT_TRUE(frame->PostMessage(WM_WIZARD_EXIT));
    env.platform().runPending();
    EXPECT_FALSE(frame->IsWindow());
    EXPECT_FALSE(frame->isConnected());
    EXPECT_FALSE(env.device().isOpen());
    EXPECT_THAT(log(), ElementsAre("Communication port disconnected."));
}

TEST_F(RoutingTest, ATextPostedToAFrameThatIsGoneIsFreedByThePlatform) {
    // Under ASan a leak here fails the run.
    auto* text = new std::string("late line");
    const ui::WindowHandle handle = frame->GetSafeHwnd();
    ASSERT_TRUE(ui::postMessage(handle, WM_WORKER_NOTIFY, notifyText,
                                reinterpret_cast<std::intptr_t>(text)));
    frame->DestroyWindow();
    env.platform().runPending();
    EXPECT_FALSE(ui::postMessage(handle, WM_WORKER_NOTIFY, notifyResult, resStopped));
    EXPECT_TRUE(log().empty());
}

}  // namespace
}  // namespace tidewell::testing
