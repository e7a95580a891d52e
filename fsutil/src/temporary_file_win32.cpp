// Windows: the temporary is created exclusively under a random name and moved over its
// target with MoveFileExW, which (unlike rename()) replaces an existing file. Files have
// no mode bits worth keeping, and a folder cannot be synced.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <random>

#include "sync_folder.h"
#include "tidewell/fsutil/temporary_file.h"

namespace tidewell::fsutil {

namespace {

constexpr int kNameAttempts = 100;
constexpr int kReplaceAttempts = 200;
constexpr DWORD kReplacePauseMs = 10;
constexpr char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string randomSuffix(std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kNameCharacters - 2);
    std::string suffix(6, '\0');
    for (char& c : suffix) c = kNameCharacters[pick(random)];
    return suffix;
}

int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

}  // namespace

TemporaryFile::TemporaryFile(const std::filesystem::path& folder, const std::string& prefix) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::filesystem::path name = folder / (prefix + randomSuffix(random));
        fd_.reset(::_wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE));
        if (fd_) {
            path_ = name;
            return;
        }
        if (errno != EEXIST) break;
    }
    creationError_ = errno;
}

TemporaryFile::~TemporaryFile() {
    fd_.reset();
    if (!path_.empty()) ::_wunlink(path_.c_str());
}

int TemporaryFile::writeAll(std::string_view text) {
    while (!text.empty()) {
        const int done = ::_write(fd_.get(), text.data(), static_cast<unsigned>(text.size()));
        if (done < 0) return errno;
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return 0;
}

int TemporaryFile::closeSynced() {
    if (::_commit(fd_.get()) != 0) return errno;
    if (::_close(fd_.release()) != 0) return errno;
    return 0;
}

void TemporaryFile::keepNameOnly() {
    fd_.reset();
    ::_wunlink(path_.c_str());
}

int TemporaryFile::renameTo(const std::filesystem::path& target) {
    // A reader that opened the target without sharing it for deletion (another program, a
    // virus scanner) holds the replacement off for a moment: try again for a while.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(path_.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD error = ::GetLastError();
        const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        if (!busy || attempt == kReplaceAttempts) return errnoOf(error);
        ::Sleep(kReplacePauseMs);
    }
    path_.clear();
    return 0;
}

// Windows keeps no mode bits: the file has its folder's access rights.
int TemporaryFile::setMode(mode_t /*mode*/) {
    return 0;
}

// MOVEFILE_WRITE_THROUGH has made the rename durable already.
void syncFolder(const std::filesystem::path& /*folder*/) {}

}  // namespace tidewell::fsutil
