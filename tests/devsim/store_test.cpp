#include "tidewell/devsim/store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "core_harness.h"

namespace tidewell::devsim {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;
using testsupport::TempDir;

TEST(DevsimStore, NamesAreConfinedToOnePlainFileName) {
    for (const char* good : {"flashimage", "setting", "playlist", "a.b", "x-1_2", "file name"}) {
        EXPECT_TRUE(Store::validName(good)) << good;
    }
    for (const char* bad : {"", ".", "..", "../x", "x/../../y", "/etc/passwd", "a/b", "a/",
                            ".hidden", ".devsim-abc"}) {
        EXPECT_FALSE(Store::validName(bad)) << bad;
    }
    EXPECT_FALSE(Store::validName(std::string("a\0b", 3)));
    EXPECT_FALSE(Store::validName("tab\there"));
    EXPECT_TRUE(Store::validName(std::string(Store::kMaxNameLength, 'n')));
    EXPECT_FALSE(Store::validName(std::string(Store::kMaxNameLength + 1, 'n')));
}

TEST(DevsimStore, SaveLoadAndListRoundTrip) {
    TempDir dir;
    Store store(dir.path());
    std::string error;
    ASSERT_TRUE(store.save("setting", bytesOf("abc"), error)) << error;
    ASSERT_TRUE(store.save("empty", {}, error)) << error;
    ASSERT_TRUE(store.save("setting", bytesOf("abcd"), error)) << error;
    const auto loaded = store.load("setting", error);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, bytesOf("abcd"));
    const auto entries = store.list();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "empty");
    EXPECT_EQ(entries[0].size, 0u);
    EXPECT_EQ(entries[1].name, "setting");
    EXPECT_EQ(entries[1].size, 4u);
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& item : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2);
}

TEST(DevsimStore, LoadNamesThePathAndTheReason) {
    TempDir dir;
    Store store(dir.path());
    std::string error;
    EXPECT_FALSE(store.load("missing", error));
    EXPECT_NE(error.find((dir.path() / "missing").string()), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(store.load("../missing", error));
}

TEST(DevsimStore, SymbolicLinksAreNeitherReadNorWrittenThrough) {
    TempDir dir;
    const fs::path storeDir = dir.path() / "store";
    fs::create_directories(storeDir);
    const fs::path outside = dir.path() / "secret";
    std::ofstream(outside) << "outside";
    fs::create_symlink(outside, storeDir / "setting");
    Store store(storeDir);
    std::string error;
    EXPECT_FALSE(store.load("setting", error));
    EXPECT_TRUE(store.list().empty());
    ASSERT_TRUE(store.save("setting", bytesOf("new"), error)) << error;
    std::ifstream check(outside);
    std::string text;
    check >> text;
    EXPECT_EQ(text, "outside");
    EXPECT_FALSE(fs::is_symlink(storeDir / "setting"));
}

TEST(DevsimStore, ListSkipsFoldersAndHiddenFiles) {
    TempDir dir;
    fs::create_directories(dir.path() / "folder");
    std::ofstream(dir.path() / ".hidden") << "x";
    std::ofstream(dir.path() / "shown") << "xy";
    Store store(dir.path());
    const auto entries = store.list();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "shown");
}

TEST(DevsimStore, AdoptMovesAFinishedFileIn) {
    TempDir dir;
    Store store(dir.path());
    std::string error;
    const auto scratch = store.makeScratchFolder(error);
    ASSERT_TRUE(scratch) << error;
    EXPECT_EQ(scratch->parent_path(), fs::absolute(dir.path()));
    std::ofstream(*scratch / "fw") << "data";
    ASSERT_TRUE(store.adopt("fw", *scratch / "fw", error)) << error;
    EXPECT_TRUE(fs::exists(dir.path() / "fw"));
    EXPECT_FALSE(store.adopt("fw2", *scratch / "gone", error));
    EXPECT_FALSE(store.adopt("../fw", dir.path() / "fw", error));
}

}  // namespace
}  // namespace tidewell::devsim
