// SIGINT, SIGTERM and SIGHUP (a closed terminal or SSH session) as readable events: blocked in the
// calling thread (and so in every thread it starts afterwards) and read from a signalfd. No signal
// handler runs; the main loop polls fd() with its other sources. On Windows, Ctrl-C and
// Ctrl-Break come as SIGINT and a closed console as SIGTERM, through an event.
//
// Construct before any thread is started.
#pragma once

#include <csignal>
#include <optional>

#include "tidewell/engine/port_session.h"

namespace tidewell::cli {

class SignalWatch final : public CancelSource {
  public:
    SignalWatch();            // throws std::system_error
    ~SignalWatch() override;  // closes the fd and restores the old signal mask
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    WaitHandle fd() const override { return fd_; }
    // The signal that arrived, if one did (never blocks).
    std::optional<int> take() override;

  private:
#ifndef _WIN32
    sigset_t previous_{};
#endif
    WaitHandle fd_{};
};

}  // namespace tidewell::cli
