// receiveFile, the cases that need POSIX files and limits: a FIFO or a symbolic link at
// the target's name, a file-size limit standing for a full disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "transfer_fixtures.h"

namespace tidewell::testing {
namespace {

class SignalIgnored {
  public:
    explicit SignalIgnored(int signal) : signal_(signal) {
        previous_ = std::signal(signal, SIG_IGN);
    }
    ~SignalIgnored() { std::signal(signal_, previous_); }
    SignalIgnored(const SignalIgnored&) = delete;
    SignalIgnored& operator=(const SignalIgnored&) = delete;

  private:
    int signal_;
    void (*previous_)(int);
};

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
};

TEST_F(Receiver, WriteFailureCancelsWithWriteFileException) {
    SendingDevice device(*rig.line, fileFrames(patternBytes(1024)));
    {
        // A file may grow by no byte: its first write fails as on a full disk.
        const SignalIgnored noSignal(SIGXFSZ);
        const FileSizeLimit limit(0);
        EXPECT_EQ(receive(), resWriteError);
    }
    EXPECT_EQ(device.cans(), 3);
    EXPECT_EQ(rig.recorder.texts(), std::vector<std::string>{"Error: Write file exception."});
}

TEST_F(Receiver, FifoAtTheNameIsAnOpenErrorAndNothingIsSent) {
    target = dir.file("fifo.bak");
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    EXPECT_EQ(receive(), resOpenError);  // without a reader an open would wait for one
    EXPECT_EQ(rig.line->written(), "");
}

// A link put at the name meanwhile is not written through.
TEST_F(Receiver, LinkAtTheNameIsRefusedAndItsTargetLeftAsItWas) {
    const std::string precious = dir.file("precious");
    writeFile(precious, "keep me");
    target = dir.file("link.bak");
    ASSERT_EQ(::symlink(precious.c_str(), target.c_str()), 0);
    EXPECT_EQ(receive(), resOpenError);
    EXPECT_EQ(readFile(precious), "keep me");
    EXPECT_EQ(rig.line->written(), "");
}

}  // namespace
}  // namespace tidewell::testing
