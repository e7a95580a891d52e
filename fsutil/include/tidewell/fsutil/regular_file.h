// Opening a file that must be a regular one, without ever blocking: a FIFO without a
// writer, a device or a socket under the name is refused at once.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

#include "tidewell/fsutil/unique_fd.h"

namespace tidewell::fsutil {

struct RegularFile {
    UniqueFd fd;  // open for (blocking) reads when the name is a regular file
    std::uint64_t size = 0;
    // Why not: errno of open() or fstat(), EISDIR for a folder; 0 when something
    // other than a regular file or a folder opened.
    int error = 0;
    bool opened = false;  // open() itself succeeded
    mode_t type = 0;      // the S_IFMT bits of what opened

    bool ok() const { return static_cast<bool>(fd); }
};

// A symbolic link to a regular file counts as one.
RegularFile openRegularFile(const std::filesystem::path& path);

// Creates an empty file with mode where nothing of that name exists (a link included, even
// a dangling one): 0, EEXIST when the name is taken, or why it could not be made.
int createNewFile(const std::filesystem::path& path, mode_t mode);

// Appends the rest of an open file to text: 0, errno, or EFBIG once text would pass
// limit bytes.
int readRest(const RegularFile& file, std::string& text,
             std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace tidewell::fsutil
