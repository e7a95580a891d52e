#include "tidewell/cli/run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::cli {
namespace {

int run(std::vector<std::string_view> args, std::ostream& out, std::ostringstream& err) {
    const CliIo io{out, err, -1, false};
    return runCli(args, io);
}

TEST(CliRun, HelpGoesToStandardOutput) {
    std::ostringstream out, err;
    EXPECT_EQ(run({"--help"}, out, err), 0);
    EXPECT_TRUE(out.str().starts_with("Usage: tidewell-cli"));
    EXPECT_EQ(err.str(), "");
}

TEST(CliRun, UsageErrorsPointToHelp) {
    std::ostringstream out, err;
    EXPECT_EQ(run({"backup", "flashimage"}, out, err), 2);
    EXPECT_NE(err.str().find("tidewell-cli: \"flashimage\" is not a device file"),
              std::string::npos);
    EXPECT_NE(err.str().find("--help"), std::string::npos);
    EXPECT_EQ(out.str(), "");
}

TEST(CliRun, OutputThatCannotBeWrittenFailsTheRun) {
    std::ostream broken(nullptr);  // every write fails
    std::ostringstream err;
    EXPECT_EQ(run({"--version"}, broken, err), 6);
    EXPECT_NE(err.str().find("cannot write to standard output"), std::string::npos);
}

#ifndef _WIN32  // FIFOs and the Linux settings place
TEST(CliRun, ASettingsFileThatIsNoRegularFileIsToldAndNeverWaitedOn) {
    testsupport::TempDir home;
    std::filesystem::create_directories(home / "tidewell");
    ASSERT_EQ(::mkfifo((home / "tidewell" / "tidewell.ini").c_str(), 0600), 0);
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    std::ostringstream out, err;
    const int status = run({"ports"}, out, err);
    saved != nullptr ? ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1)
                     : ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.str().find("the settings are not used: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("FIFO"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("COM1"), std::string::npos);
}
#endif

}  // namespace
}  // namespace tidewell::cli
