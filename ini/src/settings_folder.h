// What the settings file needs of the machine: where it lives, its folder, the lock that
// orders writers, the mode a rewritten file keeps. One implementation per platform.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>

namespace tidewell::detail {

// The mode a rewritten file is given: the one it has, else owner read and write.
mode_t modeForRewrite(const std::filesystem::path& file);

// What a file that is not a regular file is instead ("a FIFO").
const char* specialFileKind(mode_t type);

// An exclusive lock on a folder, between processes and threads, held while it lives.
class FolderLock {
  public:
    explicit FolderLock(const std::filesystem::path& folder);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    // 0 when held, else errno; failedStep() names the step ("open", "lock").
    int error() const { return error_; }
    const char* failedStep() const { return failedStep_; }

  private:
    std::intptr_t handle_ = -1;
    int error_ = 0;
    const char* failedStep_ = "";
};

}  // namespace tidewell::detail
