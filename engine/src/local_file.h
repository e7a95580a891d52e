// The local file of a transfer: an owned descriptor with whole-buffer reads and
// writes, 64-bit length, and the errno of the last failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tidewell {

class LocalFile {
  public:
    LocalFile() = default;
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Only a regular file is opened: a directory is refused with EISDIR, a FIFO or a
    // device with EINVAL. Never blocks.
    bool openForReading(const std::string& path);
    // Creates a new file; an existing name (a file, a link, a FIFO) is refused with EEXIST.
    bool openForWriting(const std::string& path);
    // Length of the open file; false when it cannot be asked.
    bool size(std::uint64_t& length);
    // Exactly count bytes; false on an error or when the file ends first.
    bool readExactly(std::uint8_t* data, std::size_t count);
    bool writeAll(const std::uint8_t* data, std::size_t count);
    bool close();
    int lastErrno() const { return lastErrno_; }
    // "<path>: <reason> (errno N)" for the last failure.
    std::string describeError() const;

  private:
    int fd_ = -1;
    int lastErrno_ = 0;
    std::string path_;
};

}  // namespace tidewell
