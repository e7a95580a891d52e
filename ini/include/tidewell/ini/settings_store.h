// The settings file: an INI file of sections and keys, shared by the programs. Its sections
// belong to their users (the application's profile, the COM-number table); this module knows
// only the file.
//
// SettingsStore reads the file afresh on every get and rewrites it at once on every set,
// atomically (temporary file, fsync, rename), under a lock on the settings folder so that
// two processes never lose each other's keys. A missing, unreadable or malformed file reads
// as far as it is valid; lines it does not understand are kept as they are. A file that
// exists but cannot be read is never overwritten. Only a regular file is read, and no read
// blocks: a FIFO, a device or a folder in its place reads as empty and is left alone. Keys and
// sections match without regard to ASCII case; the first of repeated keys counts.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell {

// ${XDG_CONFIG_HOME:-$HOME/.config}/tidewell/tidewell.ini; on Windows
// %APPDATA%\tidewell\tidewell.ini
std::filesystem::path defaultSettingsPath();

using SettingsEntries = std::vector<std::pair<std::string, std::string>>;

class SettingsStore {
  public:
    explicit SettingsStore(std::filesystem::path file = defaultSettingsPath());
    SettingsStore(const SettingsStore& other) : file_(other.file_) {}
    SettingsStore& operator=(const SettingsStore& other);

    const std::filesystem::path& path() const noexcept { return file_; }

    // The value of a key, or nothing when the key (or the file) is missing.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue = {}) const;
    // Leading decimal digits as an unsigned 32-bit value (wrapping); a value that is present
    // but negative or not a number gives 0, a missing key gives defaultValue.
    std::uint32_t getInt(std::string_view section, std::string_view key,
                         std::uint32_t defaultValue) const;
    // Every key of a section with its value, in file order.
    SettingsEntries getSection(std::string_view section) const;

    // False when the file could not be written (see lastError()), or when a key or value
    // cannot be stored in an INI line (line breaks; '=' or '[' in a key).
    bool setString(std::string_view section, std::string_view key, std::string_view value);
    bool setInt(std::string_view section, std::string_view key, long long value);
    bool removeKey(std::string_view section, std::string_view key);
    // Reads the section and writes the keys `decide` returns (none: nothing is written), in
    // one atomic write under the lock, so that a choice made from the current keys cannot
    // race another process.
    bool updateSection(std::string_view section,
                       const std::function<SettingsEntries(const SettingsEntries&)>& decide);

    // What went wrong last, naming the file and the OS reason; empty after success.
    std::string lastError() const;
    // Why the file cannot be read, naming it (a FIFO in its place, no permission ...);
    // empty when it reads or is missing.
    std::string readProblem() const;

  private:
    enum class Change { none, write, refused };
    // Runs `change` on the file's text under the folder lock; writes the text when asked.
    bool edit(const std::function<Change(std::string& text)>& change);
    void setError(std::string text) const;

    std::filesystem::path file_;
    mutable std::mutex errorMutex_;
    mutable std::string lastError_;
};

}  // namespace tidewell
