// Whole passes of the wizard against tidewell-devsim: a firmware update, both
// backups over two passes, both restores, and the bar over three transfers.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "files.h"
#include "tidewell/records/sha256.h"
#include "wizard_rig.h"

namespace tidewell::pages::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kFirstBox = res::IDC_OPERATION_FIRST;
constexpr char kDevicePadding = 0x1A;

nlohmann::json recordOf(const fs::path& backup) {
    return nlohmann::json::parse(readFile(fs::path(backup) += ".json"), nullptr, false);
}

class WizardRuns : public ::testing::Test {
  protected:
    WizardRuns() {
        fs::create_directories(backups);
        rig.settings().setSettingPath(backups.string());
        rig.settings().setPlaylistPath(backups.string());
    }

    std::vector<ProgressSample> resultSamples() const {
        std::vector<ProgressSample> out;
        for (const auto& s : rig.progress()) {
            if (s.afterResult) {
                out.push_back(s);
            }
        }
        return out;
    }

    WizardRig rig;
    Devsim& device = rig.startDevice();
    fs::path backups = rig.file("backups");
};

TEST_F(WizardRuns, FirmwareUpdateFromThePortPageToTheNextPass) {
    const std::string package = randomBytes(10 * 1024, 7);
    const fs::path packageFile = rig.file("fw/release.pkg");
    writeFile(packageFile, package);
    rig.choosePort(3);
    rig.detectAndMoveOn().expectChecked(kFirstBox + 2).click(kNext);
    rig.user()
        .waitForDialog(kFileSelection)  // the backup page had nothing to do
        .click(res::IDC_BROWSE)
        .answerFileDialog(packageFile.string())
        .click(kNext);
    rig.waitForStatus("Transfer completed sucessfully.")
        .expectText(res::IDC_TITLE, "Update")
        .expectEnabled(kNext)
        .run([&] { EXPECT_EQ(rig.ui().beeps(), std::vector<ui::UINT>{ui::MB_SIMPLEBEEP}); })
        .click(kNext)
        // The next pass starts at detection, on the open connection.
        .waitForDialog(kDetection)
        .waitForText(res::IDC_STATUS, "Device detected.")
        .click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(readFile(device.storeFile("flashimage")), package) << "byte-exact on the device";
    EXPECT_EQ(rig.settings().getCommPort(), 3);
    EXPECT_EQ(rig.settings().getFirmwarePath(), packageFile.string());
    const auto results = resultSamples();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].position, 100);
    EXPECT_FALSE(rig.frame().IsWindow());
}

TEST_F(WizardRuns, BothBackupsInOnePassThenNumberedOnesOnTheNext) {
    const std::string setting = randomBytes(3 * 1024, 11);
    const std::string playlist = randomBytes(2 * 1024, 12);
    writeFile(device.storeFile("setting"), setting);
    writeFile(device.storeFile("playlist"), playlist);
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(true, true, false, false, false);
    rig.waitForStatus("Transfer completed sucessfully.")
        .expectText(res::IDC_TITLE, "Backup")
        .run([&] {
            EXPECT_EQ(filesIn(backups),
                      (std::vector<std::string>{"playlist.bak", "playlist.bak.json", "setting.bak",
                                                "setting.bak.json"}));
        })
        .click(kNext);
    // Nothing to choose or send: straight on to the next pass, choices kept.
    rig.detectAndMoveOn().expectChecked(kFirstBox + 0).expectChecked(kFirstBox + 1).click(kNext);
    rig.waitForStatus("Transfer completed sucessfully.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();

    EXPECT_EQ(filesIn(backups),
              (std::vector<std::string>{"playlist.bak", "playlist.bak.json", "playlist_1.bak",
                                        "playlist_1.bak.json", "setting.bak", "setting.bak.json",
                                        "setting_1.bak", "setting_1.bak.json"}));
    for (const char* name : {"setting.bak", "setting_1.bak", "playlist.bak", "playlist_1.bak"}) {
        const std::string& content = name[0] == 's' ? setting : playlist;
        EXPECT_EQ(readFile(backups / name), content) << name;
        // Each backup's record: its hash, size and origin; the log-in lines of its own pass.
        const auto record = recordOf(backups / name);
        ASSERT_TRUE(record.is_object()) << name;
        EXPECT_EQ(record["sha256"], sha256Hex(content)) << name;
        EXPECT_EQ(record["size"], content.size()) << name;
        EXPECT_EQ(record["device_file"], name[0] == 's' ? "setting" : "playlist") << name;
        EXPECT_EQ(record["port"], "COM3") << name;
        EXPECT_EQ(record["device_path"], device.link().string()) << name;
        EXPECT_EQ(record["login_lines"], nlohmann::json({"Tidewell simulated device",
                                                         "Firmware 1.0", "Logged in", ":OK:"}))
            << name;
    }
    EXPECT_EQ(rig.ui().beeps().size(), 2u);
}

TEST_F(WizardRuns, BothRestoresSendTheRememberedBackups) {
    const std::string setting = randomBytes(1500, 21);
    const std::string playlist = randomBytes(4096, 22);
    writeFile(backups / "setting_2.bak", setting);
    writeFile(backups / "playlist_5.bak", playlist);
    rig.settings().setSettingFile("setting_2.bak");
    rig.settings().setPlaylistFile("playlist_5.bak");
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(false, false, false, true, true);
    rig.user()
        .waitForDialog(kFileSelection)
        .expectText(res::IDC_FILE_BOX, (backups / "setting_2.bak").string())
        .click(kNext)
        .waitUntil([&] { return rig.frame().getFileSelectionMode() == opRestorePlaylist; },
                   "the playlist page")
        .expectText(res::IDC_FILE_BOX, (backups / "playlist_5.bak").string())
        .click(kNext);
    rig.waitForStatus("Transfer completed sucessfully.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();

    // The device keeps what came in whole packets: the file, then zero padding.
    const std::string gotSetting = readFile(device.storeFile("setting"));
    ASSERT_EQ(gotSetting.size(), 2048u);
    EXPECT_EQ(gotSetting.substr(0, setting.size()), setting);
    EXPECT_EQ(gotSetting.find_first_not_of('\0', setting.size()), std::string::npos);
    EXPECT_EQ(readFile(device.storeFile("playlist")), playlist);
    EXPECT_EQ(filesIn(backups), (std::vector<std::string>{"playlist_5.bak", "setting_2.bak"}));
}

TEST_F(WizardRuns, ThreeTransfersShareTheBarAThirdEachAndEndAtOneHundred) {
    // 3000 bytes: the sender reports 34, 68 and 102 % (padding counts).
    writeFile(rig.file("fw.pkg"), randomBytes(3000, 31));
    writeFile(backups / "setting.bak", randomBytes(3000, 32));
    writeFile(backups / "playlist.bak", randomBytes(3000, 33));
    rig.settings().setFirmwarePath(rig.file("fw.pkg").string());
    rig.settings().setSettingFile("setting.bak");
    rig.settings().setPlaylistFile("playlist.bak");
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(false, false, true, true, true);
    for (int page = 0; page < 3; ++page) {
        rig.user()
            .waitUntil(
                [&, page] { return rig.frame().getCurrentStepType() == stepChooseFirmware + page; },
                "a file page")
            .click(kNext);
    }
    rig.waitForStatus("Transfer completed sucessfully.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();

    std::vector<int> afterResults;
    std::vector<std::string> statuses;
    int runningTransfer = 0;
    for (const auto& sample : rig.progress()) {
        if (sample.afterResult) {
            afterResults.push_back(sample.position);
            ++runningTransfer;
            continue;
        }
        statuses.push_back(sample.status);
        // Progress stays within the running transfer's third.
        EXPECT_GE(sample.position, runningTransfer * 33);
        EXPECT_LE(sample.position, (runningTransfer + 1) * 33);
    }
    EXPECT_EQ(afterResults, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(
        statuses,
        (std::vector<std::string>{
            "Transfer 11 % completed.", "Transfer 22 % completed.", "Transfer 33 % completed.",
            "Transfer 44 % completed.", "Transfer 55 % completed.", "Transfer 66 % completed.",
            "Transfer 77 % completed.", "Transfer 88 % completed.", "Transfer 99 % completed."}));
}

TEST_F(WizardRuns, ABackupBeyond128KiBNeverShowsMoreThanItsShare) {
    // The receiver counts 128 KiB as 100 %: 300 KiB report up to 234 %.
    const std::string setting = randomBytes(300 * 1024, 41);
    writeFile(device.storeFile("setting"), setting);
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(true, false, false, false, false);
    rig.waitForStatus("Transfer completed sucessfully.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();

    int highest = 0;
    for (const auto& sample : rig.progress()) {
        if (!sample.afterResult) {
            highest = std::max(highest, sample.position);
            EXPECT_LE(sample.position, 100) << sample.status;
        }
    }
    EXPECT_EQ(highest, 100);
    EXPECT_EQ(readFile(backups / "setting.bak"), setting);
}

TEST_F(WizardRuns, AnExistingNameIsNeverOverwrittenEvenWhenItCannotBeRead) {
    writeFile(device.storeFile("setting"), randomBytes(1024, 51));
    // A dangling link cannot be opened for reading, yet the name is taken.
    fs::create_symlink(rig.file("elsewhere"), backups / "setting.bak");
    writeFile(backups / "setting_1.bak", "older backup");
    rig.choosePort(3);
    rig.detectAndMoveOn();
    rig.chooseOperations(true, false, false, false, false);
    rig.waitForStatus("Transfer completed sucessfully.").click(kExit);
    EXPECT_TRUE(rig.run()) << rig.user().report();
    EXPECT_EQ(filesIn(backups), (std::vector<std::string>{"setting.bak", "setting_1.bak",
                                                          "setting_2.bak", "setting_2.bak.json"}));
    EXPECT_FALSE(fs::exists(rig.file("elsewhere")));
    EXPECT_EQ(readFile(backups / "setting_1.bak"), "older backup");
    EXPECT_EQ(readFile(backups / "setting_2.bak"), readFile(device.storeFile("setting")));
}

}  // namespace
}  // namespace tidewell::pages::testing
