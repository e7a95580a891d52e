// The tidewell-devsim program: start-up, link, signals, the line over a real
// pseudo-terminal, hang-up.
#include "process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::devsim {
namespace {

namespace fs = std::filesystem;
using testing::DevsimProcess;
using testing::HostPort;
using testing::Millis;
using testing::runDevsimToEnd;
using testsupport::TempDir;

TEST(DevsimProgram, PrintsTheSlavePathLinksItAndCleansUpOnSigterm) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {});
    EXPECT_TRUE(devsim.readyLine().starts_with("/dev/pts/")) << devsim.readyLine();
    ASSERT_TRUE(fs::is_symlink(devsim.link()));
    EXPECT_EQ(fs::read_symlink(devsim.link()), devsim.readyLine());
    EXPECT_TRUE(fs::is_directory(devsim.store()));
    EXPECT_TRUE(devsim.waitForLog("ready: " + devsim.readyLine(), Millis(5000)));
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(devsim.link())));
    EXPECT_TRUE(devsim.waitForLog("signal SIGTERM: exiting", Millis(1000)));
}

TEST(DevsimProgram, SigintEndsItCleanlyToo) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {});
    EXPECT_EQ(devsim.stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(devsim.link())));
}

TEST(DevsimProgram, AStaleLinkIsReplaced) {
    TempDir dir;
    fs::create_symlink("/nonexistent/pts/99", dir.path() / "device");
    DevsimProcess devsim(dir.path(), {});
    EXPECT_EQ(fs::read_symlink(devsim.link()), devsim.readyLine());
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
}

TEST(DevsimProgram, SomethingElseAtTheLinkPathIsLeftAlone) {
    TempDir dir;
    const fs::path file = dir.path() / "device";
    std::ofstream(file) << "precious";
    const auto result =
        runDevsimToEnd({"--link", file.string(), "--store", (dir.path() / "s").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(file.string()), std::string::npos) << result.err;
    std::ifstream check(file);
    std::string text;
    check >> text;
    EXPECT_EQ(text, "precious");
}

TEST(DevsimProgram, BadCommandLineExitsWith2AndHelpWith0) {
    const auto bad = runDevsimToEnd({"--link", "/tmp/x", "--baud", "fast"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--baud"), std::string::npos) << bad.err;
    const auto help = runDevsimToEnd({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--hangup-at-sent"), std::string::npos);
}

TEST(DevsimProgram, LogInAndCommandsOverThePseudoTerminal) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {});
    std::ofstream(devsim.store() / "setting") << "12345";
    HostPort port(devsim.link());
    port.write("   ");
    EXPECT_EQ(port.readLine(Millis(5000)), ":LOGIN:");
    port.write("\r\npivot\r");
    EXPECT_EQ(port.readLine(Millis(5000)), "Tidewell simulated device");
    EXPECT_EQ(port.readLine(Millis(5000)), "Firmware 1.0");
    EXPECT_EQ(port.readLine(Millis(5000)), "Logged in");
    EXPECT_EQ(port.readLine(Millis(5000)), ":OK:");
    port.write("ls\r");
    EXPECT_EQ(port.readLine(Millis(5000)), "setting 5");
    EXPECT_EQ(port.readLine(Millis(5000)), ":OK:");
    port.write("download ../escape\r");
    EXPECT_EQ(port.readLine(Millis(5000)), ":ERROR:");
    EXPECT_TRUE(devsim.waitForLog("rx line \"download ../escape\"", Millis(5000)));
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
}

TEST(DevsimProgram, TheHostMayCloseAndReopenTheLine) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {});
    {
        HostPort port(devsim.link());
        ASSERT_TRUE(port.logIn());
    }
    HostPort again(devsim.link());
    again.write("ls\r");
    EXPECT_EQ(again.readLine(Millis(5000)), ":OK:");
    EXPECT_TRUE(devsim.running());
}

TEST(DevsimProgram, HangupAtByteClosesTheLineAndRemovesTheLink) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {"--hangup-at", "6"});
    HostPort port(devsim.link());
    port.write("   ");
    EXPECT_EQ(port.readLine(Millis(5000)), ":LOGIN:");
    port.write("\r\npivot\r");
    EXPECT_TRUE(port.waitForHangup(Millis(5000)));
    EXPECT_TRUE(devsim.waitForLog("hung up: line closed", Millis(5000)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(devsim.link())));
    EXPECT_TRUE(devsim.running());
    EXPECT_EQ(devsim.stop(SIGTERM), 0);
}

TEST(DevsimProgram, BootDelayAndLogFileOverThePseudoTerminal) {
    TempDir dir;
    DevsimProcess devsim(dir.path(), {"--boot-ms", "300"});
    HostPort port(devsim.link());
    // The host's detection: wake-ups until the prompt comes.
    std::string seen;
    bool prompted = false;
    for (int i = 0; i < 500 && !prompted; ++i) {
        port.write("   ");
        prompted = port.readUntil(":LOGIN:", Millis(10), &seen);
    }
    EXPECT_TRUE(prompted);
    EXPECT_TRUE(devsim.waitForLog("booting: input ignored", Millis(1000)));
    EXPECT_TRUE(devsim.waitForLog("tx line \":LOGIN:\"", Millis(1000)));
}

}  // namespace
}  // namespace tidewell::devsim
