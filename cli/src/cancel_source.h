// What asks a running command to stop: a file descriptor that the wait loops poll
// beside the worker's notifications, and the request itself.
//
// SignalWatch is the source of a one-port run (Ctrl-C, SIGTERM, SIGHUP); with several
// ports the main thread watches the signals and raises one CancelFlag per port.
#pragma once

#include <atomic>
#include <optional>

namespace tidewell::cli {

class CancelSource {
  public:
    virtual ~CancelSource() = default;
    // Readable when a request may have come.
    virtual int fd() const = 0;
    // The signal number of a request that came since the last take(), if one did
    // (never blocks).
    virtual std::optional<int> take() = 0;
};

// A request raised by another thread. Thread safety: raise() from any thread; fd()
// and take() from the thread that waits.
class CancelFlag final : public CancelSource {
  public:
    CancelFlag();  // throws std::system_error when no eventfd can be made
    ~CancelFlag() override;
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    void raise(int signal);

    int fd() const override { return fd_; }
    std::optional<int> take() override;

  private:
    int fd_ = -1;
    std::atomic<int> signal_{0};
};

}  // namespace tidewell::cli
