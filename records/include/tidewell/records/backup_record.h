// The record beside a backup: for "setting_3.bak" the file "setting_3.bak.json",
// saying what the backup is (the device file, its byte count and SHA-256), when
// (UTC) and from where (port, device path, the lines the device sent at log-in).
// A record is an addition: a backup without one is still a backup.
//
// writeBackupRecord hashes the backup as it lies on disk, once it has its name, and
// writes the record atomically (temporary file in the same folder, fsync, rename),
// replacing a stale record of an earlier file of that name; the record gets the
// backup's permission bits. On failure no record and no temporary file is left.
//
// checkBackup reads a backup's record back and compares it with the backup: it
// matches, differs (size, hash or both), has no record, or its record cannot be read
// or is not a valid record. Records are read as regular files of at most
// kMaxRecordBytes, without blocking. Which of these a caller accepts is its own
// choice (an old backup has no record).
//
// Texts from the device are kept as they came; bytes that are not UTF-8 are written
// as U+FFFD, as JSON requires. A record names one of the device files a backup can
// hold; any other name (a path, "flashimage") makes it no valid record.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/records/sha256.h"

namespace tidewell {

inline constexpr int kRecordFormat = 1;
inline constexpr std::uint64_t kMaxRecordBytes = 1 << 20;
// A backup's record is the backup's name with this appended.
inline constexpr std::string_view kRecordSuffix = ".json";
// The device files a backup can hold; the package's "flashimage" is never backed up.
inline constexpr std::array<std::string_view, 2> kBackupDeviceFiles = {"setting", "playlist"};
// What a record keeps of the device's lines at log-in: the first lines, each cut to a
// length, so that a device that never stops talking fills no memory.
inline constexpr std::size_t kMaxLoginLines = 16;
inline constexpr std::size_t kMaxLoginLineBytes = 256;

// What the taker of a backup knows beyond the file itself.
struct BackupOrigin {
    std::string deviceFile;  // "setting", "playlist"
    std::string port;        // "COM3", or the device path when no number was used
    std::string devicePath;  // "/dev/ttyUSB0"
    std::vector<std::string> loginLines;
};

struct BackupRecord {
    BackupOrigin origin;
    std::uint64_t size = 0;
    std::string sha256;
    std::string timeUtc;  // "2025-05-20T09:41:07Z"

    bool operator==(const BackupRecord&) const = default;
};

// backup with kRecordSuffix appended.
std::filesystem::path recordPathFor(const std::filesystem::path& backup);

bool isBackupDeviceFile(std::string_view name);
// Adds a device line to lines within kMaxLoginLines and kMaxLoginLineBytes.
void keepLoginLine(std::vector<std::string>& lines, std::string_view line);

// Writes the record of backup; the record written, or nothing and *why.
std::optional<BackupRecord> writeBackupRecord(
    const std::filesystem::path& backup, const BackupOrigin& origin, std::string* why = nullptr,
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// "2025-05-20T09:41:07Z".
std::string formatUtc(std::chrono::system_clock::time_point when);

enum class RecordStatus {
    matches,           // size and SHA-256 as recorded
    differs,           // sizeDiffers and/or hashDiffers
    noRecord,          // no NAME.json beside the backup
    recordUnreadable,  // there, but cannot be opened or read, or is no regular file
    recordMalformed,   // not JSON, or not a record of this format
    backupUnreadable,  // the backup itself cannot be opened or read
};

struct RecordCheck {
    RecordStatus status = RecordStatus::noRecord;
    std::optional<BackupRecord> record;  // when it was read
    std::optional<FileDigest> actual;    // the backup as it is, when it was read
    bool sizeDiffers = false;
    bool hashDiffers = false;
    // One line without the backup's name: what differs, or why it could not be told.
    std::string detail;

    bool ok() const { return status == RecordStatus::matches; }
};

RecordCheck checkBackup(const std::filesystem::path& backup);

// Parses a record's text; nothing and *why when it is not a valid record.
std::optional<BackupRecord> parseBackupRecord(const std::string& text, std::string* why = nullptr);
// The record's text (indented JSON ending in a line break).
std::string formatBackupRecord(const BackupRecord& record);

}  // namespace tidewell
