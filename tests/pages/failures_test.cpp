// What the user sees when something goes wrong: a silent device, refused and
// cancelled transfers, transfers that never start or never get through, files
// that cannot be opened, backups that fail or are left half-way, and Back while
// a transfer runs.
#include <gtest/gtest.h>

#include <optional>

#include "files.h"
#include "tidewell/testsupport/stubborn_peer.h"
#include "tidewell/testsupport/watchdog.h"
#include "wizard_rig.h"

namespace tidewell::pages::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::StubbornPeer;
using testsupport::Watchdog;

std::size_t countOf(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class Failures : public ::testing::Test {
  protected:
    Failures() {
        fs::create_directories(backups);
        rig.settings().setSettingPath(backups.string());
        rig.settings().setPlaylistPath(backups.string());
        writeFile(package, randomBytes(5 * 1024, 3));
        rig.settings().setFirmwarePath(package.string());
    }

    // A firmware update up to the progress page.
    ScriptedUser& update() {
        rig.choosePort(3);
        rig.detectAndMoveOn().click(kNext);
        return rig.user().waitForDialog(kFileSelection).click(kNext).waitForDialog(kProgress);
    }
    // The setting backup up to the progress page.
    ScriptedUser& backup() {
        rig.choosePort(3);
        rig.detectAndMoveOn();
        rig.chooseOperations(true, false, false, false, false);
        return rig.user().waitForDialog(kProgress);
    }
    // A failed run: status text, Next stays disabled, Back still works.
    void expectStopped(const std::string& status) {
        rig.waitForStatus(status)
            .expectEnabled(kNext, false)
            .expectEnabled(kBack)
            // Back passes the playlist page, which does not apply, and the page
            // comes back with a new run.
            .click(kBack)
            .waitForDialog(kProgress)
            // Stopped first, so that Exit has no running transfer to ask about.
            .run([&] { rig.frame().stopTransfer(); })
            .click(kExit);
        EXPECT_TRUE(rig.run()) << rig.user().report();
        EXPECT_TRUE(rig.ui().beeps().empty());
    }

    // Until the device has logged what a test waits for.
    static std::function<bool()> logged(const Devsim& device, std::string_view what) {
        return [&device, what] { return countOf(readFile(device.logFile()), what) > 0; };
    }

    WizardRig rig;
    fs::path backups = rig.file("backups");
    fs::path package = rig.file("fw.pkg");
};

TEST_F(Failures, ADeviceThatNeverPromptsKeepsThePageWaitingAndBackAndExitWork) {
    Devsim& device = rig.startDevice({"--no-prompt"});
    rig.choosePort(3)
        .waitUntil([&] { return countOf(readFile(device.logFile()), "wake-up not answered") >= 3; },
                   "three unanswered wake-ups")
        .advance(10s)
        .expectDialog(kDetection)
        .expectText(res::IDC_STATUS, "Detecting...")
        .expectEnabled(kNext, false)
        .click(kBack)
        .waitForDialog(kWelcome)
        .run([&] { EXPECT_FALSE(rig.frame().isConnected()); })
        .click(kNext)
        .waitForDialog(kDetection)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_FALSE(rig.frame().IsWindow());
}

TEST_F(Failures, AnErrorReplyToTheTransferLineIsATransferError) {
    Devsim& device = rig.startDevice({"--refuse-transfers"});
    update();
    expectStopped("Transfer error.");
    EXPECT_FALSE(fs::exists(device.storeFile("flashimage")));
}

TEST_F(Failures, ADeviceCancelIsReported) {
    rig.startDevice({"--cancel-at", "2", "--ok-after-failure"});
    update();
    expectStopped("Transfer cancelled by device.");
}

TEST_F(Failures, ATransferThatNeverStartsIsReported) {
    StubbornPeer peer(StubbornPeer::Mode::NeverStart);
    rig.setPort(3, peer.path());
    update();
    expectStopped("Remote transfer not detected.");
    EXPECT_TRUE(peer.confirmedEnd());
}

TEST_F(Failures, APacketRefusedAgainAndAgainIsTooManyRetries) {
    StubbornPeer peer(StubbornPeer::Mode::RefuseEveryPacket);
    rig.setPort(3, peer.path());
    update();
    expectStopped("Error, too many retry.");
    EXPECT_EQ(peer.packetsRefused(), 25);
}

TEST_F(Failures, APackageGoneBeforeItsTransferCannotBeOpened) {
    rig.startDevice();
    rig.choosePort(3);
    rig.detectAndMoveOn().click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)
        .run([&] { fs::remove(package); })
        .click(kNext)
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectDialog(kFileSelection)
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

// Results the simulated device cannot produce on demand, handed to the page while
// its transfer waits for the device's answer to the transfer line.
struct InjectedResult {
    std::int32_t code;
    std::string status;
};

class InjectedResults : public Failures, public ::testing::WithParamInterface<InjectedResult> {};

TEST_P(InjectedResults, EachResultShowsItsStatusAndStopsTheRun) {
    rig.startDevice({"--silent-after-command"});
    update()
        .run([&] {
            ASSERT_EQ(rig.frame().getWorkerCommand(), cmdUpload);
            rig.frame().getActivePage()->onResult(GetParam().code);
        })
        .expectText(res::IDC_STATUS, GetParam().status)
        .expectEnabled(kNext, false)
        .expectEnabled(kBack)
        .click(kExit)
        // The worker's own transfer still waits for the silent device.
        .answerMessageBox(ui::IDYES, "A transfer is running. Stop it?");
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

INSTANTIATE_TEST_SUITE_P(Pages, InjectedResults,
                         ::testing::Values(InjectedResult{resOpenError, "Can't open file."},
                                           InjectedResult{resWriteError, "Can't write to file"},
                                           InjectedResult{resStopped, "Unexpected 2."}));

TEST_F(Failures, ABackupFileThatCannotBeReadIsRefused) {
    rig.startDevice();
    fs::create_directories(backups / "setting_3.bak");  // a folder under a backup's name
    rig.settings().setSettingFile("setting_3.bak");
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(false, false, false, true, false);
    rig.user()
        .waitForDialog(kFileSelection)
        .click(kNext)
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectEnabled(kNext, false)
        .click(res::IDC_BROWSE)
        .answerFileDialog((backups / "setting_3.bak").string())
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

TEST_F(Failures, ACancelledBackupLeavesNoFile) {
    Devsim& device = rig.startDevice({"--cancel-at", "3"});
    writeFile(device.storeFile("setting"), randomBytes(8 * 1024, 5));
    backup();
    rig.waitForStatus("Transfer error.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(filesIn(backups).empty()) << filesIn(backups).front();
}

TEST_F(Failures, ABackupLeftHalfWayLeavesNoFile) {
    // About 20 s at 9600 baud: plenty of time to leave.
    Devsim& device = rig.startDevice({"--baud", "9600"});
    writeFile(device.storeFile("setting"), randomBytes(20 * 1024, 6));
    backup()
        .waitUntil([&] { return !rig.progress().empty(); }, "the first packets")
        .run([&] { EXPECT_EQ(filesIn(backups).size(), 1u); })  // the hidden partial file
        .click(kBack)
        .waitForDialog(kChoice)
        .run([&] { EXPECT_TRUE(filesIn(backups).empty()); })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(filesIn(backups).empty());
}

TEST_F(Failures, ABackupFolderThatCannotBeWrittenIsReported) {
    rig.startDevice();
    rig.settings().setSettingPath(rig.file("no/such/folder").string());
    backup()
        .expectText(res::IDC_STATUS, "Can't open file.")
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_NE(rig.frame().getLogView().GetWindowText().find(rig.file("no/such/folder").string()),
              std::string::npos);
}

// Back while a transfer waits for the device, and on again: the page that comes
// back starts its own transfer, which ends the first. The first one's late result
// belongs to no page.
TEST_F(Failures, BackDuringABackupAndOnAgainKeepsTheNewBackupRunning) {
    Devsim& device = rig.startDevice({"--silent-after-command"});
    backup()
        .waitUntil(logged(device, "silent-after-command"), "the transfer line")
        .click(kBack)
        .waitForDialog(kChoice)
        .click(kNext)
        .waitForDialog(kProgress)
        .expectText(res::IDC_STATUS, "Initializing...")
        .waitForText(res::IDC_STATUS, "Transfer error.")
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(filesIn(backups).empty());
}

TEST_F(Failures, BackToTheDetectionPageEndsTheRunningBackupFirst) {
    // The backup would wait two minutes for a first packet that never comes.
    Devsim& device = rig.startDevice({"--no-transfer-start"});
    writeFile(device.storeFile("setting"), randomBytes(1024, 7));
    std::optional<Watchdog> watchdog;
    backup()
        .waitUntil(logged(device, "start requests ignored"), "the backup's start requests")
        // Were the window to wait for the transfer, the device goes and frees it.
        .run([&] { watchdog.emplace(20s, [&device] { device.hangUp(); }); })
        .click(kBack)
        .waitForDialog(kChoice)
        .click(kBack)
        .waitForDialog(kDetection)
        .run([&] { watchdog->disarm(); })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_TRUE(watchdog.has_value());
    EXPECT_FALSE(watchdog->fired()) << "the detection page waited for the transfer to end";
    EXPECT_TRUE(filesIn(backups).empty());
}

// Leaving while a transfer runs asks first; No goes on, Yes stops it (the device
// hears the cancel) and leaves no partial file.
TEST_F(Failures, LeavingDuringATransferAsksFirst) {
    Devsim& device = rig.startDevice({"--baud", "9600"});
    const std::string setting = randomBytes(6 * 1024, 8);
    writeFile(device.storeFile("setting"), setting);
    const std::string question = "A transfer is running. Stop it?";
    std::size_t firstRun = 0;  // progress samples of the first backup
    backup()
        .waitUntil([&] { return !rig.progress().empty(); }, "the first packets")
        .pressEscape()
        .answerMessageBox(ui::IDNO, question)
        .waitForText(res::IDC_STATUS, "Transfer completed sucessfully.", 60s)
        .run([&] {
            EXPECT_EQ(readFile(backups / "setting.bak").substr(0, setting.size()), setting);
        })
        .click(kBack)
        .waitForDialog(kChoice)
        .click(kNext)
        .waitForDialog(kProgress)
        .run([&] { firstRun = rig.progress().size(); })
        .waitUntil([&] { return rig.progress().size() > firstRun + 1; },
                   "the second backup's packets")
        .closeBox()
        .answerMessageBox(ui::IDYES, question);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_EQ(rig.ui().messageBoxes().size(), 2u);
    for (const auto& box : rig.ui().messageBoxes()) {
        EXPECT_EQ(box.type, ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2);
    }
    EXPECT_EQ(filesIn(backups), (std::vector<std::string>{"setting.bak", "setting.bak.json"}));
    // The device reads the cancel once the packet it is sending has gone.
    EXPECT_TRUE(waitForText(device.logFile(), "cancelled by the host", Millis{5000}));
}

// The terminal window opened during a transfer: the page steps aside, the window
// refuses what would disturb the transfer, and closing it brings the page back.
TEST_F(Failures, TheTerminalWindowDuringATransferLeavesItAlone) {
    Devsim& device = rig.startDevice({"--baud", "9600", "--throttle-input"});
    const std::string refusal = "The wizard is running a transfer. Try again when it has ended.";
    update()
        .waitUntil([&] { return !rig.progress().empty(); }, "the first packets")
        .systemCommand(IDM_TERMINAL)
        .chooseMenu(res::ID_COMM_DOWNLOAD)
        .answerMessageBox(ui::IDOK, refusal)
        .chooseMenu(res::ID_COMM_DISCONNECT)
        .answerMessageBox(ui::IDOK, refusal)
        .closeFrame()
        .expectDialog(kProgress)
        .waitForText(res::IDC_STATUS, "Transfer completed sucessfully.", 60s)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(rig.ui().fileDialogs().empty());
    EXPECT_EQ(readFile(device.storeFile("flashimage")), readFile(package));
}

// A request to end the program (SIGTERM, the session's end) stops a running
// transfer without a question and ends the program.
TEST_F(Failures, AnEndRequestDuringATransferStopsItWithoutAQuestion) {
    Devsim& device = rig.startDevice({"--baud", "9600"});
    writeFile(device.storeFile("setting"), randomBytes(20 * 1024, 9));
    backup().waitUntil([&] { return !rig.progress().empty(); }, "the first packets").run([&] {
        rig.ui().requestTermination();
    });
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(rig.ui().messageBoxes().empty());
    EXPECT_FALSE(rig.frame().IsWindow());
    EXPECT_TRUE(filesIn(backups).empty());
    // The device reads the cancel once the packet it is sending has gone.
    EXPECT_TRUE(waitForText(device.logFile(), "cancelled by the host", Millis{5000}));
}

// Back while the device is in the middle of a transfer, then on again: the old transfer
// is cancelled on the line and the device is back at its command line before the new
// one starts, which succeeds at the first try.
TEST_F(Failures, BackThenNextDuringATransferSucceedsAtTheFirstTry) {
    Devsim& device = rig.startDevice({"--baud", "115200"});
    const std::string setting = randomBytes(100 * 1024, 4);
    writeFile(device.storeFile("setting"), setting);
    writeFile(package, randomBytes(100 * 1024, 6));
    backup()
        .waitUntil(logged(device, "tx packet 3 (#3)"), "the backup under way")
        .click(kBack)
        .waitForDialog(kChoice)
        .click(kNext)
        .waitForDialog(kProgress)
        .waitForText(res::IDC_STATUS, "Transfer completed sucessfully.", 60s)
        .run([&] {
            EXPECT_EQ(readFile(backups / "setting.bak"), setting);
            EXPECT_EQ(countOf(readFile(device.logFile()), "rx CAN CAN: cancelled by the host"), 1u);
        })
        .click(kBack);
    // On to an update, and Back during it: the page comes back at once with a new run
    // into a device that was still receiving.
    rig.chooseOperations(false, false, true, false, false);
    rig.user()
        .waitForDialog(kFileSelection)
        .click(kNext)
        .waitForDialog(kProgress)
        .waitUntil(logged(device, "rx packet 3 (#3) ok"), "the update under way")
        .click(kBack)
        .waitForDialog(kProgress)
        .waitForText(res::IDC_STATUS, "Transfer completed sucessfully.", 60s)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(readFile(device.storeFile("flashimage")), readFile(package));
    EXPECT_EQ(countOf(readFile(device.logFile()), "rx CAN CAN: cancelled by the host"), 2u);
}

// An unplugged device: the page names it and Back leads to the port page, where only a
// new connection can help.
TEST_F(Failures, ALostDeviceDuringATransferIsNamedAndBackLeadsToThePortPage) {
    Devsim& device = rig.startDevice({"--baud", "115200"});
    writeFile(package, randomBytes(100 * 1024, 6));
    update()
        .waitUntil(logged(device, "rx packet 3 (#3) ok"), "the update under way")
        .run([&] { device.hangUp(); }, "unplug the device")
        .waitForText(res::IDC_STATUS, "Transfer error.", 20s)
        .run([&] {
            const std::string reason =
                rig.ui().activeDialog()->GetDlgItem(res::IDC_REASON).GetWindowText();
            EXPECT_TRUE(reason.starts_with("Lost the device ")) << reason;
        })
        .click(kBack)
        .waitForDialog(kWelcome)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

// A device that refuses the log-in word is not logged in: the page says so and starts
// over, and no transfer is offered.
TEST_F(Failures, ARefusedLogInIsALoginErrorAndDetectionStartsOver) {
    Devsim& device = rig.startDevice({"--refuse-login"});
    rig.choosePort(3)
        .waitUntil([&] { return countOf(readFile(device.logFile()), "refuse-login") >= 2; },
                   "two refused log-ins")
        .waitUntil(
            [&] {
                return rig.ui()
                    .activeDialog()
                    ->GetDlgItem(res::IDC_STATUS)
                    .GetWindowText()
                    .starts_with("Login error.\nThe device refused the log-in: ");
            },
            "the refusal on the page")
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

}  // namespace
}  // namespace tidewell::pages::testing
