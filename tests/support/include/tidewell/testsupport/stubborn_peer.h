// A scripted device on a pseudo-terminal for the transfer failures that
// tidewell-devsim reaches only after a minute: it answers the wake-up and the
// log-in, accepts the first "download NAME" line with ":OK:", and then either
// answers every packet with NAK (the sender runs out of retries) or sends noise
// instead of a start request (the sender never sees a start). Once the sender has
// given up and the line is quiet it confirms the end with ":OK:", so the sender's
// own result reaches the host.
#pragma once

#include <atomic>
#include <filesystem>
#include <string_view>
#include <thread>

namespace tidewell::testsupport {

class StubbornPeer {
  public:
    enum class Mode { RefuseEveryPacket, NeverStart };

    explicit StubbornPeer(Mode mode);
    ~StubbornPeer();
    StubbornPeer(const StubbornPeer&) = delete;
    StubbornPeer& operator=(const StubbornPeer&) = delete;

    // The slave side to point a COM number at.
    const std::filesystem::path& path() const { return slavePath_; }
    int packetsRefused() const { return refused_; }
    bool confirmedEnd() const { return confirmed_; }

  private:
    void run();
    void send(std::string_view bytes);

    Mode mode_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the master never sees a hang-up between opens
    std::filesystem::path slavePath_;
    std::atomic<bool> stop_{false};
    std::atomic<int> refused_{0};
    std::atomic<bool> confirmed_{false};
    std::thread thread_;
};

}  // namespace tidewell::testsupport
