// The INI settings store and the settings accessors.
#include "tidewell/settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "tidewell/serial/ports.h"
#include "tidewell/testsupport/temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace tidewell {
namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void spill(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

struct Settings : ::testing::Test {
    TempDir dir;
    fs::path file = dir.path() / "tidewell" / "tidewell.ini";
    TidewellSettings settings{SettingsStore(file)};

    void writeFile(const std::string& text) {
        fs::create_directories(file.parent_path());
        spill(file, text);
    }
};

TEST_F(Settings, FirstRunGivesPortOneAndDotFolders) {
    EXPECT_EQ(settings.getCommPort(), 1);
    EXPECT_EQ(settings.getSettingPath(), ".");
    EXPECT_EQ(settings.getPlaylistPath(), ".");
    EXPECT_EQ(settings.getFirmwarePath(), ".");
    EXPECT_EQ(settings.getSettingFile(), "");
    EXPECT_EQ(settings.getPlaylistFile(), "");
    EXPECT_FALSE(fs::exists(file)) << "reading must not create the file";
}

TEST_F(Settings, CommPortTakesTheLowEightBits) {
    const std::pair<const char*, int> cases[] = {
        {"300", 44}, {"256", 1}, {"0", 1},    {"3", 3},           {" 7 ", 7},
        {"-5", 1},   {"abc", 1}, {"12x", 12}, {"4294967340", 44}, {"", 1}};
    for (const auto& [stored, expected] : cases) {
        writeFile(std::string("[Tidewell]\nCommPort=") + stored + "\n");
        EXPECT_EQ(settings.getCommPort(), expected) << "CommPort=" << stored;
    }
}

TEST_F(Settings, EmptyStoredFolderGivesDotAndEmptyFileStaysEmpty) {
    settings.setSettingPath("");
    settings.setSettingFile("");
    EXPECT_EQ(settings.getSettingPath(), ".");
    EXPECT_EQ(settings.getSettingFile(), "");
}

#ifndef _WIN32  // fork()
TEST_F(Settings, ValuesSurviveANewProcess) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TidewellSettings writer{SettingsStore(file)};
        writer.setCommPort(3);
        writer.setSettingPath("/home/tech/backups");
        writer.setSettingFile("setting_2.bak");
        writer.setPlaylistPath("/srv/play lists");
        writer.setPlaylistFile("playlist.bak");
        writer.setFirmwarePath("/opt/fw/player 1.2.pkg");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TidewellSettings reader{SettingsStore(file)};
    EXPECT_EQ(reader.getCommPort(), 3);
    EXPECT_EQ(reader.getSettingPath(), "/home/tech/backups");
    EXPECT_EQ(reader.getSettingFile(), "setting_2.bak");
    EXPECT_EQ(reader.getPlaylistPath(), "/srv/play lists");
    EXPECT_EQ(reader.getPlaylistFile(), "playlist.bak");
    EXPECT_EQ(reader.getFirmwarePath(), "/opt/fw/player 1.2.pkg");
}
#endif

TEST_F(Settings, MalformedFileReadsWhatIsValid) {
    writeFile(std::string("garbage without equals\n=no key\n\x01\x02\xff junk\n") +
              "[Other]\nSettingFile=wrong.bak\n" +
              "[ tidewell ]\r\n"
              "; a comment\r\n"
              "commport = 5\r\n"
              "CommPort=9\r\n"
              "SettingPath=\"  /spaced folder \"\r\n" +
              std::string("line with \0 nul\n", 16) +
              "[Broken\nPlaylistFile=not-ours.bak\n"
              "[Tidewell]\nFirmwarePath=/fw/second-section.pkg\n"
              "[Tidewell]\nPlaylistPath=/play/trunc");
    EXPECT_EQ(settings.getCommPort(), 5);  // first of repeated keys, any case
    EXPECT_EQ(settings.getSettingPath(), "  /spaced folder ");
    EXPECT_EQ(settings.getSettingFile(), "");    // only in [Other]
    EXPECT_EQ(settings.getPlaylistFile(), "");   // under a broken header
    EXPECT_EQ(settings.getFirmwarePath(), ".");  // a second [Tidewell] is not read
    EXPECT_EQ(settings.getPlaylistPath(), ".");
}

TEST_F(Settings, ACarriageReturnAloneEndsALine) {
    writeFile("[Tidewell]\rCommPort=3\rSettingPath=/back\r\rSettingFile=a\rb.bak\n");
    EXPECT_EQ(settings.getCommPort(), 3);
    EXPECT_EQ(settings.getSettingPath(), "/back");
    EXPECT_EQ(settings.getSettingFile(), "a");  // never a value holding a line break
}

TEST_F(Settings, TruncatedLastLineStillReads) {
    writeFile("[Tidewell]\nCommPort=4\nSettingPath=/back");
    EXPECT_EQ(settings.getCommPort(), 4);
    EXPECT_EQ(settings.getSettingPath(), "/back");
    settings.setSettingFile("s.bak");  // appended after the cut line, not glued to it
    EXPECT_EQ(settings.getSettingPath(), "/back");
    EXPECT_EQ(settings.getSettingFile(), "s.bak");
}

TEST_F(Settings, SetEditsOneKeyAndKeepsEverythingElse) {
    const std::string before =
        "# kept\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\n[Tidewell]\nCommPort=2\nodd line\n\n";
    writeFile(before);
    settings.setCommPort(7);
    settings.setFirmwarePath("/fw/a.pkg");
    const std::string after = slurp(file);
    EXPECT_EQ(after,
              "# kept\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\n[Tidewell]\nCommPort=7\nodd line\n"
              "FirmwarePath=/fw/a.pkg\n\n");
    EXPECT_EQ(settings.store().getString(kPortsSection, "com3"), "/dev/ttyUSB0");
}

TEST_F(Settings, NewSectionIsAppended) {
    writeFile("[Ports]\nCOM1=/dev/pts/7");
    settings.setSettingPath("/b");
    EXPECT_EQ(slurp(file), "[Ports]\nCOM1=/dev/pts/7\n\n[Tidewell]\nSettingPath=/b\n");
}

TEST_F(Settings, UnstorableValuesAreRefusedAndChangeNothing) {
    settings.setSettingFile("good.bak");
    const std::string before = slurp(file);
    SettingsStore& store = settings.store();
    EXPECT_FALSE(store.setString(kProfileSection, kSettingFileKey, "evil\n[Ports]\nCOM1=/x"));
    EXPECT_FALSE(store.setString(kProfileSection, "bad=key", "v"));
    EXPECT_FALSE(store.setString("Bad]", "key", "v"));
    EXPECT_NE(store.lastError().find(file.string()), std::string::npos);
    EXPECT_EQ(slurp(file), before);
}

TEST_F(Settings, UnreadableFileIsNeverOverwritten) {
    fs::create_directories(file);  // a folder where the file should be
    SettingsStore& store = settings.store();
    EXPECT_EQ(settings.getCommPort(), 1);
    EXPECT_FALSE(store.setInt(kProfileSection, kCommPortKey, 3));
    EXPECT_NE(store.lastError().find(file.string()), std::string::npos);
    EXPECT_NE(store.lastError().find("Is a directory"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(file));
}

#ifndef _WIN32  // no FIFOs among Windows files
// A FIFO without a writer would block an ordinary open (and every program with it).
TEST_F(Settings, AFifoInPlaceOfTheFileIsNeitherReadNorReplaced) {
    fs::create_directories(file.parent_path());
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    SettingsStore& store = settings.store();
    auto reading = std::async(std::launch::async, [&] { return settings.getFirmwarePath(); });
    const bool prompt = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!prompt) {
        ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go
    }
    EXPECT_TRUE(prompt) << "reading the settings blocked on a FIFO";
    EXPECT_EQ(reading.get(), ".");
    EXPECT_NE(store.readProblem().find(file.string() + ": it is a FIFO"), std::string::npos)
        << store.readProblem();

    EXPECT_FALSE(store.setInt(kProfileSection, kCommPortKey, 3));
    EXPECT_EQ(store.lastError(), store.readProblem());
    EXPECT_TRUE(fs::is_fifo(file));
    fs::remove(file);
    EXPECT_EQ(store.readProblem(), "") << "a missing file is no problem";
}
#endif

#ifndef _WIN32  // symbolic links and mode bits
TEST_F(Settings, WritesGoThroughASymlinkAndLeaveNoTemporaryFiles) {
    const fs::path real = dir.path() / "real.ini";
    spill(real, "[Tidewell]\nCommPort=2\n");
    fs::create_directories(file.parent_path());
    fs::create_symlink(real, file);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    settings.setCommPort(9);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(slurp(real), "[Tidewell]\nCommPort=9\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const auto& folder : {dir.path(), file.parent_path()}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().filename().string().find(".ini."), std::string::npos)
                << entry.path();
        }
    }
}
#endif

TEST_F(Settings, ConcurrentWritersLoseNothingAndReadersNeverSeeAHalfFile) {
    settings.setSettingPath("/always/there");
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        TidewellSettings view{SettingsStore(file)};
        while (!done) {
            if (view.getSettingPath() != "/always/there") ++badReads;
        }
    });
    constexpr int kWriters = 4;
    constexpr int kKeysEach = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            SettingsStore store(file);
            for (int k = 0; k < kKeysEach; ++k) {
                store.setInt(kPortsSection, "K" + std::to_string(w) + "_" + std::to_string(k), k);
            }
        });
    }
    for (auto& t : writers) t.join();
    done = true;
    reader.join();
    EXPECT_EQ(badReads, 0);
    EXPECT_EQ(settings.store().getSection(kPortsSection).size(),
              static_cast<std::size_t>(kWriters * kKeysEach));
}

#ifndef _WIN32  // the Linux place
TEST(SettingsPath, FollowsXdgConfigHomeThenHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(defaultSettingsPath(), fs::path("/cfg/tidewell/tidewell.ini"));
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/tech", 1);
    EXPECT_EQ(defaultSettingsPath(), fs::path("/home/tech/.config/tidewell/tidewell.ini"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultSettingsPath(), fs::path("/home/tech/.config/tidewell/tidewell.ini"));
    if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
}
#endif

#ifdef _WIN32
TEST(SettingsPath, LivesInAppDataElseInTheUserProfile) {
    const std::string appData = std::getenv("APPDATA") ? std::getenv("APPDATA") : "";
    const std::string profile = std::getenv("USERPROFILE") ? std::getenv("USERPROFILE") : "";
    ::_putenv_s("APPDATA", "C:\\cfg");
    EXPECT_EQ(defaultSettingsPath(), fs::path("C:\\cfg\\tidewell\\tidewell.ini"));
    ::_putenv_s("APPDATA", "");
    ::_putenv_s("USERPROFILE", "C:\\me");
    EXPECT_EQ(defaultSettingsPath(), fs::path("C:\\me\\tidewell\\tidewell.ini"));
    ::_putenv_s("APPDATA", appData.c_str());
    ::_putenv_s("USERPROFILE", profile.c_str());
}
#endif

}  // namespace
}  // namespace tidewell
