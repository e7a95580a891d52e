// The pages' helpers that need no window: port entry texts, where the firmware
// browse starts, how a chosen backup splits into folder and name, the open check.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "files.h"
#include "tidewell/wizard/pages/comm_port_selection_dlg.h"
#include "tidewell/wizard/pages/file_selection_dlg.h"

namespace tidewell::pages::testing {
namespace {

namespace fs = std::filesystem;

TEST(PortEntryText, NamesTheDeviceBehindTheNumberAndKeepsTheComPrefix) {
    EXPECT_EQ(CCommPortSelectionDlg::entryText({3, "/dev/ttyUSB0", true}), "COM3  /dev/ttyUSB0");
    EXPECT_EQ(CCommPortSelectionDlg::entryText({4, "/dev/ttyUSB1", false}),
              "COM4  /dev/ttyUSB1 (not present)");
    EXPECT_EQ(CCommPortSelectionDlg::entryText({9, "", false}), "COM9 (not present)");
    EXPECT_EQ(CCommPortSelectionDlg::entryText({5, R"(\\.\COM5)", true, "USB Serial Port (COM5)"}),
              "COM5  USB Serial Port (COM5)");
}

TEST(FirmwareBrowseStart, AFolderGetsThePackagePatternAndAPackageIsPreselected) {
    TempDir dir;
    writeFile(dir / "fw" / "a.pkg", "x");
    const std::string folder = (dir / "fw").string();
    EXPECT_EQ(CFileSelectionDlg::firmwareBrowseStart(folder), folder + "/*.pkg");
    EXPECT_EQ(CFileSelectionDlg::firmwareBrowseStart(folder + "/a.pkg"), folder + "/a.pkg");
    // A package that is gone: its folder, all packages.
    EXPECT_EQ(CFileSelectionDlg::firmwareBrowseStart(folder + "/gone.pkg"), folder + "/*.pkg");
    EXPECT_EQ(CFileSelectionDlg::firmwareBrowseStart("."), "./*.pkg");
    EXPECT_EQ(CFileSelectionDlg::firmwareBrowseStart("/no/such/place/x.pkg"),
              "/no/such/place/x.pkg/*.pkg");
}

TEST(BackupFolder, IsTheParentFolderOfTheChosenFile) {
    EXPECT_EQ(CFileSelectionDlg::backupFolder("/data/b/setting_2.bak"), "/data/b");
    // Folders that begin with the file's name, or hold it, are not cut.
    EXPECT_EQ(CFileSelectionDlg::backupFolder("/d/setting.bak-old/setting.bak"),
              "/d/setting.bak-old");
    EXPECT_EQ(CFileSelectionDlg::backupFolder("/x/a.bak/y/a.bak"), "/x/a.bak/y");
    EXPECT_EQ(CFileSelectionDlg::backupFolder("/setting.bak"), "/");
}

TEST(CanOpenForReading, TakesRegularFilesOnlyAndNeverWaits) {
    TempDir dir;
    writeFile(dir / "f.bak", "data");
    EXPECT_TRUE(CFileSelectionDlg::canOpenForReading((dir / "f.bak").string()));
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading(dir.path().string()));
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading("./"));
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading((dir / "missing").string()));
    fs::create_symlink(dir / "nowhere", dir / "dangling.bak");
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading((dir / "dangling.bak").string()));
    fs::create_symlink(dir / "f.bak", dir / "link.bak");
    EXPECT_TRUE(CFileSelectionDlg::canOpenForReading((dir / "link.bak").string()));
    // No writer ever comes: a blocking open would wait for good.
    ASSERT_EQ(::mkfifo((dir / "fifo.bak").c_str(), 0600), 0);
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading((dir / "fifo.bak").string()));
    EXPECT_FALSE(CFileSelectionDlg::canOpenForReading("/dev/null"));
}

}  // namespace
}  // namespace tidewell::pages::testing
