// A local file opened for reading without ever blocking in open(): only a regular
// file is taken, so a FIFO or a device node in its place is refused at once.
//
// Thread safety: one object from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tidewell/fsutil/unique_fd.h"

namespace tidewell::records {

class InputFile {
  public:
    // Nothing, and *why ("<what> <path>: <reason> (errno N)"), when path is missing,
    // cannot be opened or is not a regular file. error receives errno (EISDIR for a
    // folder, 0 for anything else that is not a regular file).
    static std::optional<InputFile> open(const std::filesystem::path& path, std::string* why,
                                         int* error = nullptr);

    // Fills buffer up to size; fewer bytes only at the end of the file. Nothing, and
    // *why, on a read error.
    std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t size, std::string* why);
    // The size when it was opened.
    std::uint64_t size() const { return size_; }

  private:
    InputFile(fsutil::UniqueFd fd, std::filesystem::path path, std::uint64_t size)
        : fd_(std::move(fd)), path_(std::move(path)), size_(size) {}

    fsutil::UniqueFd fd_;
    std::filesystem::path path_;
    std::uint64_t size_;
};

}  // namespace tidewell::records
