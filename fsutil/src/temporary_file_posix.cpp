#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tidewell/fsutil/temporary_file.h"

namespace tidewell::fsutil {

TemporaryFile::TemporaryFile(const std::filesystem::path& folder, const std::string& prefix) {
    std::string name = (folder / (prefix + "XXXXXX")).string();
    fd_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd_) {
        creationError_ = errno;
        return;
    }
    path_ = name;
}

TemporaryFile::~TemporaryFile() {
    fd_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
}

int TemporaryFile::writeAll(std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = ::write(fd_.get(), text.data(), text.size());
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return 0;
}

int TemporaryFile::closeSynced() {
    if (::fsync(fd_.get()) != 0) return errno;
    if (::close(fd_.release()) != 0) return errno;
    return 0;
}

void TemporaryFile::keepNameOnly() {
    fd_.reset();
    ::unlink(path_.c_str());
}

int TemporaryFile::renameTo(const std::filesystem::path& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    path_.clear();
    return 0;
}

std::optional<WriteFailure> writeFileAtomically(const std::filesystem::path& target,
                                                std::string_view text, mode_t mode) {
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    // A leading dot keeps the temporary out of listings of the folder.
    TemporaryFile temporary(folder, "." + target.filename().string() + ".");
    const auto fail = [&](WriteStep step, int error) {
        return WriteFailure{step, error, temporary.path()};
    };
    if (const int error = temporary.creationError()) return fail(WriteStep::createTemporary, error);
    if (const int error = temporary.writeAll(text)) return fail(WriteStep::write, error);
    if (::fchmod(temporary.fd(), mode) != 0) return fail(WriteStep::setMode, errno);
    if (const int error = temporary.closeSynced()) return fail(WriteStep::write, error);
    if (const int error = temporary.renameTo(target)) return fail(WriteStep::rename, error);
    // The rename is durable only once the folder itself is synced; a folder that cannot
    // be synced (some file systems) still holds the complete file.
    if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        ::fsync(dir.get());
    }
    return std::nullopt;
}

}  // namespace tidewell::fsutil
