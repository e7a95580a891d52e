#include "tidewell/ini/settings_store.h"

#include <unistd.h>

#include <cerrno>

#include "ini_text.h"
#include "settings_folder.h"
#include "tidewell/fsutil/folder.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"
#include "tidewell/fsutil/temporary_file.h"
#include "tidewell/fsutil/unique_fd.h"

namespace tidewell {

namespace {

namespace fs = std::filesystem;

// Larger than any settings file; beyond it the file is taken for something else.
constexpr off_t kMaxFileSize = 4 * 1024 * 1024;
constexpr mode_t kFolderMode = 0700;  // the settings are the user's own

using fsutil::UniqueFd;

std::string osText(const std::string& what, const fs::path& file, int error) {
    return fsutil::OsError{what, file, error}.text();
}

enum class ReadResult { ok, missing, failed };

// Reads a regular file whole. Anything else is refused without reading and without
// blocking (a FIFO without a writer would hold every program at start-up); why then
// names the file and the reason.
ReadResult readWhole(const fs::path& file, std::string& text, std::string& why) {
    text.clear();
    why.clear();
    fsutil::RegularFile opened = fsutil::openRegularFile(file);
    if (!opened.ok()) {
        if (!opened.opened && opened.error == ENOENT) return ReadResult::missing;
        if (opened.error != 0) {
            why = osText("read", file, opened.error);
        } else {
            why = "read " + file.string() + ": it is " + detail::specialFileKind(opened.type) +
                  ", not a regular file; it is left as it is";
        }
        return ReadResult::failed;
    }
    if (opened.size > static_cast<std::uint64_t>(kMaxFileSize)) {
        why = osText("read", file, EFBIG);
        return ReadResult::failed;
    }
    if (const int error = fsutil::readRest(opened, text, static_cast<std::size_t>(kMaxFileSize));
        error != 0) {
        why = osText("read", file, error);
        return ReadResult::failed;
    }
    return ReadResult::ok;
}

// Unreadable files read as empty: their keys are simply missing.
detail::IniText load(const fs::path& file) {
    std::string text;
    std::string why;
    if (readWhole(file, text, why) != ReadResult::ok) text.clear();
    return detail::IniText(text);
}

}  // namespace

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)) {}

SettingsStore& SettingsStore::operator=(const SettingsStore& other) {
    if (this != &other) file_ = other.file_;
    return *this;
}

std::optional<std::string> SettingsStore::find(std::string_view section,
                                               std::string_view key) const {
    return load(file_).find(section, key);
}

std::string SettingsStore::getString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
    auto value = find(section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

std::uint32_t SettingsStore::getInt(std::string_view section, std::string_view key,
                                    std::uint32_t defaultValue) const {
    const auto value = find(section, key);
    if (!value) return defaultValue;
    return detail::parseProfileInt(*value);
}

SettingsEntries SettingsStore::getSection(std::string_view section) const {
    return load(file_).section(section);
}

bool SettingsStore::setString(std::string_view section, std::string_view key,
                              std::string_view value) {
    return updateSection(section, [&](const SettingsEntries&) {
        return SettingsEntries{{std::string(key), std::string(value)}};
    });
}

bool SettingsStore::setInt(std::string_view section, std::string_view key, long long value) {
    return setString(section, key, std::to_string(value));
}

bool SettingsStore::removeKey(std::string_view section, std::string_view key) {
    return edit([&](std::string& text) {
        detail::IniText ini(text);
        if (!ini.remove(section, key)) return Change::none;
        text = ini.text();
        return Change::write;
    });
}

bool SettingsStore::updateSection(
    std::string_view section,
    const std::function<SettingsEntries(const SettingsEntries&)>& decide) {
    if (!detail::storableKey(section) || section.find(']') != std::string_view::npos) {
        setError("cannot store the section name \"" + std::string(section) + "\" in " +
                 file_.string());
        return false;
    }
    return edit([&](std::string& text) {
        detail::IniText ini(text);
        const SettingsEntries changes = decide(ini.section(section));
        if (changes.empty()) return Change::none;
        for (const auto& [key, value] : changes) {
            if (!detail::storableKey(key) || !detail::storableValue(value)) {
                setError("cannot store the key \"" + key + "\" with its value in " +
                         file_.string() + " (line breaks, or '=' or '[' in the key)");
                return Change::refused;
            }
        }
        for (const auto& [key, value] : changes) ini.set(section, key, value);
        text = ini.text();
        return Change::write;
    });
}

bool SettingsStore::edit(const std::function<Change(std::string& text)>& change) {
    // Write through a symbolic link to the file it names.
    std::error_code ec;
    fs::path target = file_;
    if (fs::is_symlink(file_, ec)) target = fs::weakly_canonical(file_, ec);
    if (ec) target = file_;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();

    if (const int error = fsutil::makeFolders(target.parent_path(), kFolderMode); error != 0) {
        setError(osText("create the folder of", target, error));
        return false;
    }
    const detail::FolderLock lock(folder);
    if (lock.error() != 0) {
        setError(osText(std::string(lock.failedStep()) + " the folder of", target, lock.error()));
        return false;
    }

    std::string text;
    std::string why;
    if (readWhole(target, text, why) == ReadResult::failed) {
        setError(why);  // never replace what cannot be read
        return false;
    }
    switch (change(text)) {
        case Change::none:
            setError({});
            return true;
        case Change::refused:
            return false;
        case Change::write:
            break;
    }

    const mode_t mode = detail::modeForRewrite(target);
    if (const auto failure = fsutil::writeFileAtomically(target, text, mode)) {
        setError(osText(failure->step == fsutil::WriteStep::createTemporary
                            ? "create a temporary file for"
                            : "write",
                        target, failure->error));
        return false;
    }
    setError({});
    return true;
}

std::string SettingsStore::readProblem() const {
    std::string text;
    std::string why;
    readWhole(file_, text, why);
    return why;
}

void SettingsStore::setError(std::string text) const {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(text);
}

std::string SettingsStore::lastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

}  // namespace tidewell
