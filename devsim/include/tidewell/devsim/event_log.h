// One line per device event, written and flushed at once so that a test can
// read the file while the device runs.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::devsim {

class EventLog {
  public:
    EventLog() = default;  // writes nowhere until opened or kept in memory

    // Creates or empties path. On failure sets error and logs nowhere.
    bool open(const std::string& path, std::string& error);
    // Also keeps every line in memory (for tests).
    void keepInMemory() { keep_ = true; }

    void write(std::string_view line);

    const std::vector<std::string>& lines() const { return kept_; }
    bool contains(std::string_view text) const;
    // File descriptor of the open log (for a helper program's messages), or -1.
    int fd() const;

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    bool keep_ = false;
    std::vector<std::string> kept_;
};

}  // namespace tidewell::devsim
