// The pseudo-terminal the device sits on, and the link that names it.
#pragma once

#include <filesystem>
#include <string>

#include "unique_fd.h"

namespace tidewell::devsim {

struct PtyPair {
    UniqueFd master;  // the device's side: raw, non-blocking
    UniqueFd slave;   // kept open so the master never sees the host's closes
    std::string slavePath;
};

// Opens a raw pseudo-terminal pair; throws std::runtime_error naming the OS reason.
PtyPair openPty();

// A symbolic link to the slave, removed when the guard goes unless it has been
// replaced by someone else meanwhile.
class LinkGuard {
  public:
    // Replaces a stale symbolic link; refuses to replace anything else.
    // Throws std::runtime_error naming the path and the OS reason.
    LinkGuard(std::filesystem::path link, std::string target);
    ~LinkGuard() { remove(); }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

    void remove();

  private:
    std::filesystem::path link_;
    std::string target_;
    bool active_ = false;
};

}  // namespace tidewell::devsim
