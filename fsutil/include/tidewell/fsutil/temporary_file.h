// A scoped temporary file, and the atomic replacement of a file built on it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "tidewell/fsutil/unique_fd.h"

namespace tidewell::fsutil {

// A new private file PREFIX + six random characters in folder, open for writing;
// closed and removed on scope exit unless it was renamed into place.
class TemporaryFile {
  public:
    TemporaryFile(const std::filesystem::path& folder, const std::string& prefix);
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    // The errno of its creation; 0 when it exists.
    int creationError() const { return creationError_; }
    int fd() const { return fd_.get(); }
    const std::filesystem::path& path() const { return path_; }

    // Each gives errno on failure, 0 on success.
    int writeAll(std::string_view text);
    int setMode(mode_t mode);  // where the system keeps modes
    int closeSynced();         // fsync, then close
    int renameTo(const std::filesystem::path& target);
    // Closes and removes the file but keeps its name, removed on scope exit too: for a
    // file that another creates there itself, exclusively.
    void keepNameOnly();

  private:
    UniqueFd fd_;
    std::filesystem::path path_;
    int creationError_ = 0;
};

enum class WriteStep { createTemporary, write, setMode, rename };

struct WriteFailure {
    WriteStep step;
    int error;
    std::filesystem::path temporary;
};

// Replaces target with text, given mode: a temporary in target's folder is written,
// synced and renamed over it, then the folder is synced. Readers see the old file or
// the new one, never part of either; a failure leaves target as it was and no
// temporary behind.
std::optional<WriteFailure> writeFileAtomically(const std::filesystem::path& target,
                                                std::string_view text, mode_t mode);

}  // namespace tidewell::fsutil
