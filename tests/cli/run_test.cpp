#include "tidewell/cli/run.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

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

}  // namespace
}  // namespace tidewell::cli
