// Pseudo-terminals for end-to-end tests: lrzsz on the master side of a
// pseudo-terminal that the engine opens.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tidewell/testsupport/child_process.h"

namespace tidewell::testing {

using testsupport::ChildProcess;
using testsupport::findProgram;

// A pseudo-terminal pair opened in this process, raw on both sides.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    void closeMaster();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A peer program's line to the engine, like a null-modem cable: the engine opens
// nearPath(); the peer reads its standard input from a terminal of its own and writes
// its standard output into a pipe, and a thread copies both ways. lrzsz flushes its
// terminal's queues as it exits, which on a shared pseudo-terminal would throw away its
// last ACK before the engine has read it.
class PtyBridge {
  public:
    PtyBridge();
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    const std::string& nearPath() const { return near_.slavePath(); }
    int peerInput() const { return peerInput_; }
    int peerOutput() const { return peerOutput_[1]; }

  private:
    void copyLoop();

    PtyPair near_;
    PtyPair far_;
    int peerInput_ = -1;
    int peerOutput_[2] = {-1, -1};
    int stopPipe_[2] = {-1, -1};
    std::thread copier_;
};

}  // namespace tidewell::testing
