// The port selection and detection pages, in the running wizard.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <array>

#include "files.h"
#include "tidewell/ui/text.h"
#include "wizard_rig.h"

namespace tidewell::pages::testing {
namespace {

using namespace std::chrono_literals;

// COM1..COM9 all assigned, so that no serial device of the machine takes one of them.
void assignAllPorts(WizardRig& rig, int presentNumber) {
    for (int n = 1; n <= 9; ++n) {
        rig.setPort(n,
                    n == presentNumber ? "/dev/null" : ui::stringPrintf("/nonexistent/tty%d", n));
    }
}

std::vector<std::string> portEntries(WizardRig& rig) {
    return rig.ui().activeDialog()->GetDlgItem(res::IDC_PORT_LIST).items();
}

std::string status(WizardRig& rig) {
    return rig.ui().activeDialog()->GetDlgItem(res::IDC_STATUS).GetWindowText();
}

int selectedPort(WizardRig& rig) {
    return rig.ui().activeDialog()->GetDlgItem(res::IDC_PORT_LIST).GetCurSel() + 1;
}

TEST(PortPage, ListsNinePortsWithTheirDevicesAndPreselectsTheSavedOne) {
    WizardRig rig;
    assignAllPorts(rig, 4);
    rig.settings().setCommPort(4);
    std::vector<std::string> entries;
    int selected = -1;
    rig.user()
        .waitForDialog(kWelcome)
        .expectText(res::IDC_TITLE, "Welcome")
        .expectText(res::IDC_STATUS, "")
        .expectEnabled(kNext)
        .expectVisible(kBack, false)
        .run([&] {
            entries = portEntries(rig);
            selected = selectedPort(rig);
        })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[0], "COM1  /nonexistent/tty1 (not present)");
    EXPECT_EQ(entries[3], "COM4  /dev/null");
    EXPECT_EQ(entries[8], "COM9  /nonexistent/tty9 (not present)");
    EXPECT_EQ(selected, 4);
    EXPECT_FALSE(rig.frame().IsWindow()) << "Exit ends the program";
}

TEST(PortPage, SavedPortOneIsFoundAlthoughTheSearchStartsAtTheSecondEntry) {
    WizardRig rig;
    assignAllPorts(rig, 0);
    int selected = -1;
    rig.user().waitForDialog(kWelcome).run([&] { selected = selectedPort(rig); }).click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(selected, 1);
}

TEST(PortPage, ASavedPortBeyondTheListSelectsNothingAndNextNamesPortZero) {
    WizardRig rig;
    assignAllPorts(rig, 0);
    rig.settings().setCommPort(12);
    int selected = -1;
    rig.user()
        .waitForDialog(kWelcome)
        .run([&] { selected = selectedPort(rig); })
        .click(kNext)
        .expectDialog(kWelcome)
        .expectText(res::IDC_STATUS, "Unable to open COM0.")
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(rig.settings().getCommPort(), 12);
}

TEST(PortPage, APortThatCannotBeOpenedIsNamedAndNothingIsSaved) {
    WizardRig rig;
    assignAllPorts(rig, 0);
    rig.startDevice();
    rig.settings().setCommPort(2);
    rig.user()
        .waitForDialog(kWelcome)
        .selectIndex(res::IDC_PORT_LIST, 3)
        .click(kNext)
        .expectDialog(kWelcome)
        .expectText(res::IDC_STATUS, "Unable to open COM4.")
        .run([&] { EXPECT_EQ(rig.settings().getCommPort(), 2); });
    // Another entry can be chosen and Next pressed again.
    rig.choosePort(3).expectText(res::IDC_STATUS, "Detecting...").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(rig.settings().getCommPort(), 3);
}

TEST(DetectionPage, DetectsLogsInAndMovesOnByItselfAfterThreeSeconds) {
    WizardRig rig;
    Devsim& device = rig.startDevice();
    rig.choosePort(3)
        .expectText(res::IDC_TITLE, "Detection")
        .expectEnabled(kNext, false)
        .expectEnabled(kBack)
        .waitForText(res::IDC_STATUS, "Device detected.")
        .expectEnabled(kNext)
        .run([&] { EXPECT_EQ(rig.frame().getWorkerCommand(), cmdLoggedIn); })
        .advance(2999ms)
        .expectDialog(kDetection)
        .advance(1ms)
        .waitForDialog(kChoice)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_TRUE(waitForText(device.logFile(), "pivot", 1s)) << readFile(device.logFile());
}

TEST(DetectionPage, NextBeforeTheTimerMovesOnOnce) {
    WizardRig rig;
    rig.startDevice();
    rig.choosePort(3)
        .waitForText(res::IDC_STATUS, "Device detected.")
        .click(kNext)
        .waitForDialog(kChoice)
        .advance(5s)
        .expectDialog(kChoice)  // the stopped timer moves nothing on
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

TEST(DetectionPage, AStaleResultWhileDetectingSaysDetectionErrorAndDetectsAgain) {
    WizardRig rig;
    rig.startDevice({"--boot-ms", "1500"});  // deaf for a while
    rig.choosePort(3)
        .run([&] {
            ASSERT_EQ(rig.frame().getWorkerCommand(), cmdDetect);
            CBaseDlg& page = *rig.frame().getActivePage();
            page.onResult(resStopped);
            EXPECT_EQ(page.GetDlgItem(res::IDC_STATUS).GetWindowText(), "Detection error.");
            EXPECT_EQ(rig.frame().getWorkerCommand(), cmdDetect);
        })
        .waitForText(res::IDC_STATUS, "Device detected.")
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

// A port whose device is gone fails every detection at once: the page shows why and
// waits for Back (which reconnects) instead of detecting again and again.
TEST(DetectionPage, ALostDeviceIsShownWithItsReasonAndBackLeadsToThePortPage) {
    int master = -1, slave = -1;
    std::array<char, 128> slavePath{};
    ASSERT_EQ(::openpty(&master, &slave, slavePath.data(), nullptr, nullptr), 0);
    const std::string path = slavePath.data();
    WizardRig rig;
    rig.setPort(3, path);
    std::string shown;
    rig.choosePort(3)
        .expectText(res::IDC_STATUS, "Detecting...")
        .run([&] { ::close(std::exchange(master, -1)); }, "unplug the device")
        .waitUntil([&] { return status(rig).starts_with("Detection error.\n"); },
                   "the loss on the page")
        .run([&] {
            shown = status(rig);
            EXPECT_EQ(rig.frame().getWorkerCommand(), cmdNone);
        })
        .click(kBack)
        .waitForDialog(kWelcome)
        .run([&] { EXPECT_FALSE(rig.frame().isConnected()); })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(shown,
              "Detection error.\nLost the device " + path + ": Input/output error (errno 5).");
    ::close(slave);
}

TEST(DetectionPage, AResultInAnotherStateSaysUnexpectedAndStopsTheWorker) {
    WizardRig rig;
    rig.startDevice();
    rig.choosePort(3)
        .waitForText(res::IDC_STATUS, "Device detected.")
        .run([&] {
            rig.frame().getActivePage()->onResult(resTransferOk);  // while logged in (4)
            EXPECT_EQ(rig.frame().getWorkerCommand(), cmdNone);
        })
        .expectText(res::IDC_STATUS, "Unexpected state 4.")
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

}  // namespace
}  // namespace tidewell::pages::testing
