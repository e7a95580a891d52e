// The line protocol of the device core: prompt, log-in, commands, names.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "core_harness.h"

namespace tidewell::devsim {
namespace {

namespace fs = std::filesystem;
using testing::CoreHarness;
using testing::Millis;

constexpr const char* kWelcome =
    "Tidewell simulated device\r\nFirmware 1.0\r\nLogged in\r\n:OK:\r\n";

DeviceConfig withBoot(Millis boot) {
    DeviceConfig config;
    config.bootDelay = boot;
    return config;
}

TEST(DevsimLogin, WakeUpBytesGetThePrompt) {
    CoreHarness h;
    h.send("   ");
    EXPECT_EQ(h.take(), ":LOGIN:\r\n");
    EXPECT_TRUE(h.logHas("tx line \":LOGIN:\""));
}

TEST(DevsimLogin, NothingIsAnsweredWhileBooting) {
    CoreHarness h(withBoot(Millis(500)));
    h.send("   ");
    h.advanceBy(Millis(400));
    h.send("   ");
    h.advanceBy(Millis(50));
    EXPECT_EQ(h.take(), "");
    EXPECT_TRUE(h.logHas("booting: input ignored"));
    h.advanceBy(Millis(100));
    h.send("   ");
    EXPECT_EQ(h.take(), ":LOGIN:\r\n");
}

TEST(DevsimLogin, PromptsAreRateLimitedUnderAStreamOfWakeUps) {
    CoreHarness h;
    // The host's detection: three spaces every 9 ms, for one second.
    for (int i = 0; i < 111; ++i) {
        h.send("   ");
        h.advanceBy(Millis(9));
    }
    std::string out = h.take();
    int prompts = 0;
    for (auto at = out.find(":LOGIN:\r\n"); at != std::string::npos;
         at = out.find(":LOGIN:\r\n", at + 1)) {
        ++prompts;
    }
    EXPECT_EQ(out.size(), prompts * std::string(":LOGIN:\r\n").size());
    EXPECT_GE(prompts, 2);
    EXPECT_LE(prompts, 11);  // at most one per 100 ms
}

TEST(DevsimLogin, TheLogInExchange) {
    CoreHarness h;
    h.send("   ");
    ASSERT_EQ(h.take(), ":LOGIN:\r\n");
    h.send("\r\n");
    EXPECT_EQ(h.take(), "");
    h.advanceBy(Millis(50));
    h.send("pivot\r");
    EXPECT_EQ(h.take(), kWelcome);
    EXPECT_TRUE(h.logHas("rx line \"pivot\""));
    EXPECT_TRUE(h.logHas("login accepted"));
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":OK:\r\n");
}

TEST(DevsimLogin, AWrongWordGetsErrorAndThePromptAgain) {
    CoreHarness h;
    h.send("   \r\nPivot\r");
    EXPECT_EQ(h.take(), ":LOGIN:\r\n:ERROR:\r\n:LOGIN:\r\n");
    EXPECT_TRUE(h.logHas("login refused: wrong word"));
    h.send("ls\r");  // not logged in: another wrong word
    EXPECT_EQ(h.take(), ":ERROR:\r\n:LOGIN:\r\n");
    h.send("\r\npivot\r");
    EXPECT_EQ(h.take(), kWelcome);
}

TEST(DevsimLogin, TheWordCanBeChosen) {
    DeviceConfig config;
    config.loginWord = "secret";
    CoreHarness h(config);
    h.send("\r\npivot\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n:LOGIN:\r\n");
    h.send("\r\nsecret\r");
    EXPECT_EQ(h.take(), kWelcome);
}

TEST(DevsimLogin, WakeUpWhileLoggedInStartsOverAtTheLogIn) {
    CoreHarness h;
    h.logIn();
    h.advanceBy(Millis(500));
    h.send("   ");
    EXPECT_EQ(h.take(), ":LOGIN:\r\n");
    h.send("ls\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n:LOGIN:\r\n");
}

TEST(DevsimCommands, LineFeedsAreIgnoredAndCarriageReturnsEndLines) {
    CoreHarness h;
    h.logIn();
    h.send("l\ns\r\n");
    EXPECT_EQ(h.take(), ":OK:\r\n");
    h.send("\r\r\n");  // empty lines get no answer
    EXPECT_EQ(h.take(), "");
}

TEST(DevsimCommands, LsListsTheStoredFiles) {
    CoreHarness h;
    h.writeStoreFile("setting", testing::bytesOf("abc"));
    h.writeStoreFile("playlist", {});
    h.writeStoreFile(".hidden", testing::bytesOf("x"));
    h.logIn();
    h.send("ls\r");
    EXPECT_EQ(h.take(), "playlist 0\r\nsetting 3\r\n:OK:\r\n");
}

TEST(DevsimCommands, HelpEndsWithOk) {
    CoreHarness h;
    h.logIn();
    h.send("help\r");
    const std::string out = h.take();
    EXPECT_NE(out.find("download NAME"), std::string::npos);
    EXPECT_NE(out.find("upload NAME"), std::string::npos);
    EXPECT_TRUE(out.ends_with("\r\n:OK:\r\n")) << out;
}

TEST(DevsimCommands, AnythingElseGetsError) {
    CoreHarness h;
    h.logIn();
    for (const char* line : {"bogus\r", "ls -l\r", "help me\r", "download\r", "upload\r",
                             "Download x\r", "\x01\x02\x03x\r"}) {
        h.send(line);
        EXPECT_EQ(h.take(), ":ERROR:\r\n") << line;
    }
}

TEST(DevsimCommands, UploadOfAMissingFileGetsError) {
    CoreHarness h;
    h.logIn();
    h.send("upload setting\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
    EXPECT_TRUE(h.logHas("No such file"));
    h.advanceBy(Millis(5000));
    EXPECT_EQ(h.take(), "");  // no transfer started
}

TEST(DevsimCommands, SpacesAroundTheNameAreDropped) {
    CoreHarness h;
    h.writeStoreFile("setting", testing::bytesOf("abc"));
    h.logIn();
    h.send("upload   setting  \r");
    EXPECT_EQ(h.take(), ":OK:\r\n");
    EXPECT_TRUE(h.logHas("transfer upload \"setting\": sending 3 bytes"));
}

// Every name that would leave the store is refused before any transfer starts.
TEST(DevsimPaths, NamesOutsideTheStoreAreRefused) {
    CoreHarness h;
    std::ofstream(h.outside() / "victim") << "keep";
    h.logIn();
    for (const std::string name : {"../victim", "/etc/passwd", "..", ".", "a/b", "x/../../victim",
                                   "../store/../victim", ".hidden", "//"}) {
        for (const std::string verb : {"download ", "upload "}) {
            h.send(verb + name + "\r");
            EXPECT_EQ(h.take(), ":ERROR:\r\n") << verb << name;
            h.advanceBy(Millis(3000));
            EXPECT_EQ(h.take(), "") << "a transfer started for " << verb << name;
        }
    }
    EXPECT_TRUE(h.logHas("name rejected: \"../victim\""));
    std::vector<std::string> entries;
    for (const auto& item : fs::directory_iterator(h.outside())) {
        entries.push_back(item.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"store", "victim"}));
    EXPECT_TRUE(fs::is_empty(h.storeDir()));
}

TEST(DevsimPaths, ALinkInTheStoreIsNotFollowed) {
    CoreHarness h;
    std::ofstream(h.outside() / "secret") << "secret";
    fs::create_symlink(h.outside() / "secret", h.storeDir() / "setting");
    h.logIn();
    h.send("upload setting\r");
    EXPECT_EQ(h.take(), ":ERROR:\r\n");
}

}  // namespace
}  // namespace tidewell::devsim
