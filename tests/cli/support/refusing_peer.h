// A scripted device on a pseudo-terminal that refuses every packet: it answers
// the wake-up and the log-in, accepts "download NAME", asks for CRC mode and then
// answers each 1029-byte packet with NAK. When the sender gives up with CAN it
// confirms the end with ":OK:" once the line is quiet, so the sender's own result
// reaches the host. tidewell-devsim gives up after fewer refusals than the
// engine's sender tries, so this is the only way to see the sender's retry limit.
#pragma once

#include <atomic>
#include <filesystem>
#include <thread>

namespace tidewell::cli::testing {

class RefusingPeer {
  public:
    RefusingPeer();
    ~RefusingPeer();
    RefusingPeer(const RefusingPeer&) = delete;
    RefusingPeer& operator=(const RefusingPeer&) = delete;

    const std::filesystem::path& path() const { return slavePath_; }
    int packetsRefused() const { return refused_; }

  private:
    void run();

    int master_ = -1;
    int slave_ = -1;  // kept open so the master never sees a hang-up between clients
    std::filesystem::path slavePath_;
    std::atomic<bool> stop_{false};
    std::atomic<int> refused_{0};
    std::thread thread_;
};

}  // namespace tidewell::cli::testing
