// The operation choice page and the file selection page, in the running wizard
// against the simulated device.
#include <gtest/gtest.h>

#include "files.h"
#include "wizard_rig.h"

namespace tidewell::pages::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kFirstBox = res::IDC_OPERATION_FIRST;

class PagesOnDevice : public ::testing::Test {
  protected:
    // Port and detection, up to the choice page.
    ScriptedUser& toChoice() { return rig.choosePort(3), rig.detectAndMoveOn(); }
    std::vector<bool> selectedSlots() {
        std::vector<bool> selected;
        CDeviceStepList& plan = rig.frame().getOperations();
        for (std::uint8_t slot = 0; slot < plan.getCount(); ++slot) {
            selected.push_back(plan.getStep(slot)->isSelected());
        }
        return selected;
    }

    WizardRig rig;
    Devsim& device = rig.startDevice();
};

TEST_F(PagesOnDevice, ChoicePageShowsTheFiveOperationsWithUpdateFirmwareTicked) {
    toChoice()
        .expectText(res::IDC_TITLE, "Operation")
        .expectText(kFirstBox + 0, "Backup Setting")
        .expectText(kFirstBox + 1, "Backup Playlist")
        .expectText(kFirstBox + 2, "Update Firmware")
        .expectText(kFirstBox + 3, "Restore Setting")
        .expectText(kFirstBox + 4, "Restore Playlist")
        .expectChecked(kFirstBox + 2)
        .expectChecked(kFirstBox + 0, false)
        .expectChecked(kFirstBox + 4, false)
        .expectVisible(kFirstBox + 4)
        .expectEnabled(kFirstBox + 4)
        .expectEnabled(kNext)
        // Clearing the only mark disables Next; any mark enables it again.
        .setCheck(kFirstBox + 2, false)
        .expectEnabled(kNext, false)
        .setCheck(kFirstBox + 4, true)
        .expectEnabled(kNext)
        .setCheck(kFirstBox + 0, true)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(selectedSlots(), (std::vector<bool>{true, false, false, false, true}));
}

TEST_F(PagesOnDevice, ChoicesAreKeptWhenThePageComesBack) {
    fs::create_directories(rig.file("backups"));
    rig.settings().setPlaylistPath(rig.file("backups").string());
    toChoice().setCheck(kFirstBox + 1, true).setCheck(kFirstBox + 2, false).click(kNext);
    // The playlist backup runs; Back from it shows the choice page again as left.
    rig.user()
        .waitForDialog(kProgress)
        .click(kBack)
        .waitForDialog(kChoice)
        .expectChecked(kFirstBox + 1)
        .expectChecked(kFirstBox + 2, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

TEST_F(PagesOnDevice, FirstRunFirmwarePageOffersTheDefaultFolderAndRefusesIt) {
    toChoice().click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)
        .expectText(res::IDC_TITLE, "Firmware Selection")
        .expectText(res::IDC_FILE_BOX, ".")
        .expectEnabled(kNext)
        .click(kNext)
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectDialog(kFileSelection)
        .expectEnabled(kNext, false)
        // A cancelled browse changes nothing.
        .click(res::IDC_BROWSE)
        .cancelFileDialog()
        .expectText(res::IDC_FILE_BOX, ".")
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_EQ(rig.ui().fileDialogs().size(), 1u);
    const ui::FileDialogRequest& request = rig.ui().fileDialogs()[0].request;
    EXPECT_EQ(request.fileName, "./*.pkg");
    EXPECT_EQ(request.filter, "Firmware files (*.pkg)|*.pkg|");
    EXPECT_TRUE(request.defaultExt.empty());
    ASSERT_EQ(rig.ui().messageBoxes().size(), 1u);
    EXPECT_EQ(rig.ui().messageBoxes()[0].type, ui::MB_OK);
    EXPECT_EQ(rig.ui().messageBoxes()[0].ownerTemplate, kFileSelection);
    EXPECT_EQ(rig.settings().getFirmwarePath(), ".");
}

TEST_F(PagesOnDevice, APackageThatCannotBeOpenedIsShownRefusedAndNotRemembered) {
    const fs::path good = rig.file("fw/good.pkg");
    writeFile(good, randomBytes(2048, 1));
    const std::string missing = rig.file("fw/missing.pkg").string();
    toChoice().click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)
        .click(res::IDC_BROWSE)
        .answerFileDialog(missing)
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectText(res::IDC_FILE_BOX, missing)
        .expectEnabled(kNext, false)
        .run([&] {
            EXPECT_EQ(rig.frame().getTransferFile(), missing);
            EXPECT_EQ(rig.settings().getFirmwarePath(), ".");
        })
        .click(res::IDC_BROWSE)
        .answerFileDialog(good.string())
        .expectText(res::IDC_FILE_BOX, good.string())
        .expectEnabled(kNext)
        .run([&] { EXPECT_EQ(rig.settings().getFirmwarePath(), good.string()); })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
}

TEST_F(PagesOnDevice, TheFirmwareBrowseStartsAtTheRememberedPackage) {
    const fs::path package = rig.file("fw/now.pkg");
    writeFile(package, "package");
    rig.settings().setFirmwarePath(package.string());
    toChoice().click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)
        .expectText(res::IDC_FILE_BOX, package.string())
        .click(res::IDC_BROWSE)
        .cancelFileDialog()
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_EQ(rig.ui().fileDialogs().size(), 1u);
    const ui::FileDialogRequest& request = rig.ui().fileDialogs()[0].request;
    EXPECT_EQ(request.initialFolder, rig.file("fw").string());
    EXPECT_EQ(request.initialName, "now.pkg");
}

TEST_F(PagesOnDevice, BackupPagesOfferFolderAndNameAndRememberABrowsedBackup) {
    const fs::path chosen = rig.file("b/setting_2.bak");
    writeFile(chosen, "settings");
    toChoice().setCheck(kFirstBox + 3, true).setCheck(kFirstBox + 2, false).click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)
        .expectText(res::IDC_TITLE, "Setting Selection")
        .expectText(res::IDC_FILE_BOX, "./")
        .click(res::IDC_BROWSE)
        .answerFileDialog(chosen.string())
        .expectEnabled(kNext)
        .run([&] {
            EXPECT_EQ(rig.settings().getSettingPath(), rig.file("b").string());
            EXPECT_EQ(rig.settings().getSettingFile(), "setting_2.bak");
            EXPECT_EQ(rig.frame().getOperations().getStep(3)->getLocalFile(), chosen.string());
        })
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    ASSERT_EQ(rig.ui().fileDialogs().size(), 1u);
    EXPECT_EQ(rig.ui().fileDialogs()[0].request.fileName, "./setting*.bak");
    EXPECT_EQ(rig.ui().fileDialogs()[0].request.filter, "Backup files (*.bak)|*.bak|");

    // The next run offers that file, and the playlist page its own remembered one.
    WizardRig next;
    next.setPort(3, device.link());
    next.settings().store().setString(kProfileSection, kSettingPathKey,
                                      rig.settings().getSettingPath());
    next.settings().setSettingFile("setting_2.bak");
    next.settings().setPlaylistPath("/lists");
    next.settings().setPlaylistFile("playlist_7.bak");
    next.choosePort(3);
    next.detectAndMoveOn()
        .setCheck(kFirstBox + 3, true)
        .setCheck(kFirstBox + 4, true)
        .setCheck(kFirstBox + 2, false)
        .click(kNext)
        .waitForDialog(kFileSelection)
        .expectText(res::IDC_FILE_BOX, chosen.string())
        .click(kNext)
        .waitUntil([&] { return next.frame().getFileSelectionMode() == opRestorePlaylist; },
                   "the playlist page")
        .expectText(res::IDC_TITLE, "Playlist Selection")
        .expectText(res::IDC_FILE_BOX, "/lists/playlist_7.bak")
        .click(kNext)
        .answerMessageBox(ui::IDOK, "Can't open file.")
        .expectEnabled(kNext, false)
        .click(kExit);
    EXPECT_TRUE(next.run()) << next.user().report();
}

}  // namespace
}  // namespace tidewell::pages::testing
