#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "tidewell/plan/device_step.h"
#include "tidewell/plan/pending_backup.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::vector<int> walkSelected(CDeviceStepList& list) {
    std::vector<int> slots;
    list.resetCursor();
    while (list.moveNext()) {
        CDeviceStep* step = list.getCurrent();
        slots.push_back(static_cast<int>(step - list.getStep(0)));
    }
    return slots;
}

void selectOnly(CDeviceStepList& list, std::vector<int> slots) {
    for (std::uint8_t i = 0; i < list.getCount(); ++i) {
        list.getStep(i)->setSelected(false);
    }
    for (int slot : slots) {
        list.getStep(static_cast<std::uint8_t>(slot))->setSelected(true);
    }
}

TEST(OperationPlan, FillsTheFiveOperationsInSlotOrder) {
    CDeviceStepList list;
    list.fillOperations();
    ASSERT_EQ(list.getCount(), 5);
    struct Expected {
        const char* name;
        int operation, direction;
        const char* deviceFile;
        bool selected;
    };
    const Expected expected[] = {
        {"Backup Setting", opBackupSetting, dirFromDevice, "setting", false},
        {"Backup Playlist", opBackupPlaylist, dirFromDevice, "playlist", false},
        {"Update Firmware", opUpdateFirmware, dirToDevice, "flashimage", true},
        {"Restore Setting", opRestoreSetting, dirToDevice, "setting", false},
        {"Restore Playlist", opRestorePlaylist, dirToDevice, "playlist", false},
    };
    for (std::uint8_t i = 0; i < 5; ++i) {
        const CDeviceStep* step = list.getStep(i);
        ASSERT_NE(step, nullptr);
        EXPECT_EQ(step->getName(), expected[i].name);
        EXPECT_EQ(step->getOperation(), expected[i].operation);
        EXPECT_EQ(step->getDirection(), expected[i].direction);
        EXPECT_EQ(step->getDeviceFile(), expected[i].deviceFile);
        EXPECT_EQ(step->isSelected(), expected[i].selected);
        EXPECT_TRUE(step->isOffered());
        EXPECT_EQ(step->getLocalFile(), "");
    }
    EXPECT_EQ(list.getStep(5), nullptr);
}

TEST(OperationPlan, EmptyListHasNoStepsAndNoWalk) {
    CDeviceStepList list;
    EXPECT_EQ(list.getStep(0), nullptr);
    EXPECT_EQ(list.getStep(9), nullptr);
    list.resetCursor();
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ(list.getCurrent(), nullptr);
}

TEST(OperationPlan, CursorWalkVisitsSelectedStepsOnly) {
    CDeviceStepList list;
    list.fillOperations();

    selectOnly(list, {});
    list.resetCursor();
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ(list.getCurrent(), list.getStep(0)) << "cursor stays at 0";

    selectOnly(list, {4});
    EXPECT_EQ(walkSelected(list), std::vector<int>{4});

    selectOnly(list, {0});
    EXPECT_EQ(walkSelected(list), std::vector<int>{0}) << "the entry under a reset cursor counts";

    selectOnly(list, {0, 2, 3});
    EXPECT_EQ(walkSelected(list), (std::vector<int>{0, 2, 3}));

    // A failed move keeps the cursor on the last selected step.
    selectOnly(list, {1, 2});
    list.resetCursor();
    ASSERT_TRUE(list.moveNext());
    ASSERT_TRUE(list.moveNext());
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ(list.getCurrent(), list.getStep(2));
}

class BackupNaming : public ::testing::Test {
  protected:
    void SetUp() override {
        std::mt19937_64 random(std::random_device{}());
        do {
            dir_ = fs::temp_directory_path() / ("tidewell-plan-" + std::to_string(random()));
        } while (!fs::create_directory(dir_));
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    void touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
    fs::path name(const char* base, const char* pattern) {
        return makeBackupName(dir_, base, pattern).value_or(fs::path());
    }
    fs::path setting() { return name("setting.bak", "setting_%d.bak"); }

    fs::path dir_;
};

TEST_F(BackupNaming, TakesFirstFreeNameAndFillsGaps) {
    EXPECT_EQ(setting(), dir_ / "setting.bak");

    touch("setting_1.bak");
    touch("setting_2.bak");
    EXPECT_EQ(setting(), dir_ / "setting.bak") << "numbered backups alone do not take the base";

    touch("setting.bak");
    fs::remove(dir_ / "setting_1.bak");
    EXPECT_EQ(setting(), dir_ / "setting_1.bak") << "a gap is filled";

    touch("setting_1.bak");
    EXPECT_EQ(setting(), dir_ / "setting_3.bak");
}

TEST_F(BackupNaming, KindsAreIndependent) {
    touch("setting.bak");
    EXPECT_EQ(name("playlist.bak", "playlist_%d.bak"), dir_ / "playlist.bak");
    touch("playlist.bak");
    EXPECT_EQ(name("playlist.bak", "playlist_%d.bak"), dir_ / "playlist_1.bak");
}

#ifndef _WIN32  // permission bits and symbolic links
TEST_F(BackupNaming, UnreadableOrDanglingNamesAreNeverReused) {
    touch("setting.bak");
    fs::permissions(dir_ / "setting.bak", fs::perms::none);
    fs::create_symlink(dir_ / "nowhere", dir_ / "setting_1.bak");
    EXPECT_EQ(setting(), dir_ / "setting_2.bak");
}
#endif

#ifndef _WIN32  // Linux's words for ENOTDIR
// The folder can stop being searchable while the device's file arrives (its search
// permission taken away; here, as that does not stop root, moved and replaced by a
// file): the search for a free name must end with the reason, not take every name
// for taken for ever.
TEST_F(BackupNaming, AFolderThatCannotBeSearchedEndsTheSearchWithTheReason) {
    const fs::path folder = dir_ / "backups";
    fs::create_directories(folder);
    auto pending = PendingBackup::create(folder, "setting.bak", "setting_%d.bak");
    ASSERT_TRUE(pending);
    fs::rename(folder, dir_ / "moved");
    touch("backups");
    std::string why;
    EXPECT_FALSE(pending->commit(&why));
    EXPECT_EQ(why, "cannot look for a free backup name in " + folder.string() +
                       ": Not a directory (errno " + std::to_string(ENOTDIR) + ")");
}
#endif

TEST_F(BackupNaming, PatternIsNotAFormatString) {
    touch("odd%s.bak");
    // Only "%d" is replaced; other percent signs stay as they are.
    EXPECT_EQ(name("odd%s.bak", "odd%s_%d.bak"), dir_ / "odd%s_1.bak");
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(BackupNaming, PendingBackupTakesItsNameOnlyWhenCommitted) {
    touch("setting.bak");
    auto pending = PendingBackup::create(dir_, "setting.bak", "setting_%d.bak");
    ASSERT_TRUE(pending);
    const fs::path partial = pending->partialPath();
    EXPECT_EQ(partial.parent_path(), dir_);
    EXPECT_EQ(partial.filename().string().rfind(".setting.bak.partial-", 0), 0u);
    std::ofstream(partial, std::ios::binary) << "device bytes";

    // A name that appears while the transfer runs is not overwritten, nor is the
    // number of a record without its backup taken (its record would replace it).
    touch("setting_1.bak");
    touch("setting_2.bak.json");
    auto final = pending->commit();
    ASSERT_TRUE(final);
    EXPECT_EQ(*final, dir_ / "setting_3.bak");
    EXPECT_EQ(slurp(*final), "device bytes");
    EXPECT_EQ(slurp(dir_ / "setting_1.bak"), "x");
    // Readable like any file the user makes here, not private like the partial file.
    const auto everyone = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    EXPECT_EQ(fs::status(*final).permissions() & everyone,
              fs::status(dir_ / "setting_1.bak").permissions() & everyone);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(pending->commit()) << "a second commit has nothing to move";
}

TEST_F(BackupNaming, FailedBackupLeavesNoFileBehind) {
    fs::path partial;
    {
        auto pending = PendingBackup::create(dir_, "playlist.bak", "playlist_%d.bak");
        ASSERT_TRUE(pending);
        partial = pending->partialPath();
        std::ofstream(partial) << "half a file";
    }
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(BackupNaming, PendingBackupInMissingFolderSaysWhy) {
    std::string why;
    EXPECT_FALSE(PendingBackup::create(dir_ / "missing", "setting.bak", "setting_%d.bak", &why));
    EXPECT_NE(why.find((dir_ / "missing").string()), std::string::npos) << why;
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;
}

}  // namespace
}  // namespace tidewell
