// sendFile, the cases that need POSIX files: a FIFO among the local files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "transfer_fixtures.h"

namespace tidewell::testing {
namespace {

TEST_F(Sender, FifoIsAnOpenErrorAndNothingIsSent) {
    rig.line->feed("C");
    const std::string fifo = dir.file("fifo.pkg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(send(fifo), resOpenError);  // without a writer an open would wait for one
    EXPECT_EQ(rig.line->written(), "");
}

}  // namespace
}  // namespace tidewell::testing
