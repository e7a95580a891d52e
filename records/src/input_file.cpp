#include "tidewell/records/input_file.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"

namespace tidewell::records {

std::optional<InputFile> InputFile::open(const std::filesystem::path& path, std::string* why,
                                         int* error) {
    fsutil::RegularFile file = fsutil::openRegularFile(path);
    if (file.ok()) return InputFile(std::move(file.fd), path, file.size);
    if (why != nullptr) {
        if (file.error == 0) {
            *why = "cannot read " + path.string() + ": not a regular file";
        } else {
            *why = fsutil::OsError{file.opened ? "cannot read" : "cannot open", path, file.error}
                       .text();
        }
    }
    if (error != nullptr) *error = file.error;
    return std::nullopt;
}

std::optional<std::size_t> InputFile::read(std::uint8_t* buffer, std::size_t size,
                                           std::string* why) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd_.get(), buffer + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (why != nullptr) *why = fsutil::OsError{"cannot read", path_, errno}.text();
            return std::nullopt;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace tidewell::records
