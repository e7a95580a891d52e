#include "tidewell/devsim/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "text.h"

namespace tidewell::devsim {

bool EventLog::open(const std::string& path, std::string& error) {
    // Append mode so that a helper program's messages, written through fd(),
    // interleave with ours line by line.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = osError("open log " + path, errno);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        error = osError("open log " + path, errno);
        ::close(fd);
        return false;
    }
    file_.reset(file);
    return true;
}

void EventLog::write(std::string_view line) {
    if (file_) {
        std::fwrite(line.data(), 1, line.size(), file_.get());
        std::fputc('\n', file_.get());
        std::fflush(file_.get());
    }
    if (keep_) kept_.emplace_back(line);
}

bool EventLog::contains(std::string_view text) const {
    for (const auto& line : kept_) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

int EventLog::fd() const {
    return file_ ? ::fileno(file_.get()) : -1;
}

}  // namespace tidewell::devsim
