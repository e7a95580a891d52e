#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"
#include "tidewell/fsutil/temporary_file.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::fsutil {
namespace {

namespace fs = std::filesystem;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(OsError, OneWordingWithAndWithoutWhat) {
    EXPECT_EQ(reasonText(EACCES), "Permission denied (errno 13)");
    EXPECT_EQ((OsError{"cannot read", "/a b", ENOENT}.text()),
              "cannot read /a b: No such file or directory (errno 2)");
    EXPECT_EQ((OsError{{}, "/a", EISDIR}.text()), "/a: Is a directory (errno 21)");
}

TEST(OpenRegularFile, OnlyARegularFileOpensAndReadsByteForByte) {
    TempDir dir;
    const std::string bytes =
        "1\r\n\x1a"
        "5";  // what a text-mode read would change
    writeFile(dir / "file", bytes);
    const RegularFile file = openRegularFile(dir / "file");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.size, 5u);
    char back[16] = {};
    EXPECT_EQ(::read(file.fd.get(), back, sizeof back), 5);
    EXPECT_EQ(std::string(back, 5), bytes);

    const RegularFile missing = openRegularFile(dir / "missing");
    EXPECT_FALSE(missing.ok() || missing.opened);
    EXPECT_EQ(missing.error, ENOENT);

    const RegularFile folder = openRegularFile(dir.path());
    EXPECT_FALSE(folder.ok());
    EXPECT_EQ(folder.error, EISDIR);
}

// Linux only: Windows has no FIFOs among files, nor descriptor flags.
#ifndef _WIN32
TEST(OpenRegularFile, AFifoNeverBlocksAndAFileReadsBlocking) {
    TempDir dir;
    writeFile(dir / "file", "12345");
    const RegularFile file = openRegularFile(dir / "file");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(::fcntl(file.fd.get(), F_GETFL) & O_NONBLOCK, 0);

    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opening = std::async(std::launch::async, [&] { return openRegularFile(fifo); });
    const bool prompt = opening.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!prompt) ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked open go
    EXPECT_TRUE(prompt) << "opening a FIFO without a writer blocked";
    const RegularFile refused = opening.get();
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.opened);
    EXPECT_EQ(refused.error, 0);
    EXPECT_TRUE(S_ISFIFO(refused.type));
}
#endif

TEST(WriteFileAtomically, ReplacesAnExistingFileAndLeavesNoTemporary) {
    TempDir dir;
    const fs::path target = dir / "settings.ini";
    writeFile(target, "old");
    EXPECT_FALSE(writeFileAtomically(target, "new\r\ntext", 0640));
    EXPECT_EQ(readFile(target), "new\r\ntext");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"settings.ini"});
}

// Linux only: Windows files have no mode bits.
#ifndef _WIN32
TEST(WriteFileAtomically, GivesTheGivenModeWhateverTheMask) {
    TempDir dir;
    const fs::path target = dir / "settings.ini";
    writeFile(target, "old");
    const mode_t mask = ::umask(0077);
    const auto failure = writeFileAtomically(target, "new text", 0640);
    ::umask(mask);
    EXPECT_FALSE(failure);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

TEST(WriteFileAtomically, AFailedRenameLeavesTheOldEntryAndNoTemporary) {
    TempDir dir;
    const fs::path target = dir / "record.json";
    fs::create_directory(target);
    writeFile(target / "kept", "old");  // a folder that is not empty cannot be replaced
    const auto failure = writeFileAtomically(target, "new", 0644);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, WriteStep::rename);
    EXPECT_NE(failure->error, 0);
    EXPECT_EQ(failure->temporary.parent_path(), dir.path());
    EXPECT_EQ(readFile(target / "kept"), "old");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"record.json"});
}

// A name kept for a file another creates exclusively: free at once, and whatever was
// made under it is gone on scope exit.
TEST(TemporaryFile, ANameKeptOnlyIsFreeNowAndClearedOnScopeExit) {
    TempDir dir;
    {
        TemporaryFile name(dir.path(), "read-back-");
        ASSERT_EQ(name.creationError(), 0);
        name.keepNameOnly();
        EXPECT_TRUE(namesIn(dir.path()).empty());
        const int fd = ::open(name.path().string().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

}  // namespace
}  // namespace tidewell::fsutil
