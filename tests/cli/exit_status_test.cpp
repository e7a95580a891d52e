#include "tidewell/cli/exit_status.h"

#include <gtest/gtest.h>

#include <set>

namespace tidewell::cli {
namespace {

TEST(CliExitStatus, EveryFailureKindHasItsOwnNonZeroStatus) {
    std::set<int> seen;
    int previous = -1;
    for (const auto& info : exitStatusTable()) {
        EXPECT_TRUE(seen.insert(exitCode(info.status)).second) << exitCode(info.status);
        EXPECT_GT(exitCode(info.status), previous);
        EXPECT_FALSE(info.meaning.empty());
        previous = exitCode(info.status);
    }
    EXPECT_EQ(exitStatusTable().front().status, ExitStatus::ok);
    EXPECT_EQ(exitCode(ExitStatus::ok), 0);
    // Scripts test these numbers: a new status is appended, none is renumbered.
    EXPECT_EQ(exitCode(ExitStatus::notVerified), 13);
    EXPECT_EQ(exitCode(ExitStatus::someDevicesFailed), 14);
}

}  // namespace
}  // namespace tidewell::cli
