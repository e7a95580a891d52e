#include "tidewell/devsim/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "text.h"

namespace tidewell::devsim {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryPrefix = ".devsim-";

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

Store::Store(const fs::path& root) : root_(fs::absolute(root).lexically_normal()) {}

bool Store::validName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.') return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7F;
    });
}

std::vector<Store::Entry> Store::list() const {
    std::vector<Entry> entries;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(root_, error)) {
        const std::string name = item.path().filename().string();
        std::error_code statError;
        if (!validName(name) || !item.is_regular_file(statError) || item.is_symlink(statError)) {
            continue;
        }
        entries.push_back({name, item.file_size(statError)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

std::optional<std::vector<std::uint8_t>> Store::load(std::string_view name,
                                                     std::string& error) const {
    const fs::path path = root_ / std::string(name);
    if (!validName(name)) {
        error = path.string() + ": not a valid store name";
        return std::nullopt;
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        error = osError(path.string(), errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error = osError(path.string(), errno);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path.string() + ": not a regular file";
        return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = osError("read " + path.string(), errno);
            return std::nullopt;
        }
        if (got == 0) break;
        data.insert(data.end(), buffer, buffer + got);
    }
    return data;
}

bool Store::save(std::string_view name, std::span<const std::uint8_t> data,
                 std::string& error) const {
    const fs::path path = root_ / std::string(name);
    if (!validName(name)) {
        error = path.string() + ": not a valid store name";
        return false;
    }
    std::string temporary = (root_ / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        error = osError("create temporary file in " + root_.string(), errno);
        return false;
    }
    if (!writeAll(fd.get(), data) || ::fchmod(fd.get(), 0644) != 0) {
        error = osError("write " + temporary, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::close(fd.release()) != 0) {
        error = osError("write " + temporary, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = osError("rename " + temporary + " to " + path.string(), errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool Store::adopt(std::string_view name, const fs::path& file, std::string& error) const {
    const fs::path path = root_ / std::string(name);
    if (!validName(name)) {
        error = path.string() + ": not a valid store name";
        return false;
    }
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        error = osError(file.string(), errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = file.string() + ": not a regular file";
        return false;
    }
    if (::rename(file.c_str(), path.c_str()) != 0) {
        error = osError("rename " + file.string() + " to " + path.string(), errno);
        return false;
    }
    return true;
}

std::optional<fs::path> Store::makeScratchFolder(std::string& error) const {
    std::string folder = (root_ / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    if (::mkdtemp(folder.data()) == nullptr) {
        error = osError("create folder in " + root_.string(), errno);
        return std::nullopt;
    }
    return fs::path(folder);
}

}  // namespace tidewell::devsim
