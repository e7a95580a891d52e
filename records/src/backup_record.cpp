#include "tidewell/records/backup_record.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/temporary_file.h"
#include "tidewell/records/input_file.h"

namespace tidewell {

namespace {

using Json = nlohmann::ordered_json;
using records::InputFile;

constexpr const char* kFormatKey = "format";
constexpr const char* kDeviceFileKey = "device_file";
constexpr const char* kSizeKey = "size";
constexpr const char* kSha256Key = "sha256";
constexpr const char* kTimeKey = "time_utc";
constexpr const char* kPortKey = "port";
constexpr const char* kDevicePathKey = "device_path";
constexpr const char* kLoginLinesKey = "login_lines";

void setWhy(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
}

std::string osReason(const std::string& what, const std::filesystem::path& path, int error) {
    return fsutil::OsError{what, path, error}.text();
}

// The words for a record that could not be written, as the step that failed.
std::string writeFailureText(const fsutil::WriteFailure& failure,
                             const std::filesystem::path& target) {
    switch (failure.step) {
        case fsutil::WriteStep::createTemporary: {
            const auto folder = target.parent_path();
            return osReason("cannot create a file in", folder.empty() ? "." : folder,
                            failure.error);
        }
        case fsutil::WriteStep::write:
            return osReason("cannot write", failure.temporary, failure.error);
        case fsutil::WriteStep::setMode:
            return osReason("cannot set the mode of", failure.temporary, failure.error);
        case fsutil::WriteStep::rename:
            return osReason("cannot rename " + failure.temporary.string() + " to", target,
                            failure.error);
    }
    return {};
}

template <typename Check>
const Json* field(const Json& object, const char* key, Check isRight, const char* expected,
                  std::string* why) {
    const auto found = object.find(key);
    if (found == object.end()) {
        setWhy(why, std::string("no \"") + key + "\"");
        return nullptr;
    }
    if (!isRight(*found)) {
        setWhy(why, std::string("\"") + key + "\" is not " + expected);
        return nullptr;
    }
    return &*found;
}

enum class ReadOutcome { complete, tooLarge, failed };

// The whole file into text, as long as it holds at most limit bytes.
ReadOutcome readAtMost(InputFile& file, std::uint64_t limit, std::string& text, std::string* why) {
    std::uint8_t buffer[16 * 1024];
    for (;;) {
        const auto got = file.read(buffer, sizeof buffer, why);
        if (!got) return ReadOutcome::failed;
        text.append(reinterpret_cast<const char*>(buffer), *got);
        if (text.size() > limit) return ReadOutcome::tooLarge;
        if (*got < sizeof buffer) return ReadOutcome::complete;
    }
}

bool isString(const Json& value) {
    return value.is_string();
}

}  // namespace

std::filesystem::path recordPathFor(const std::filesystem::path& backup) {
    std::filesystem::path record = backup;
    record += kRecordSuffix;
    return record;
}

bool isBackupDeviceFile(std::string_view name) {
    return std::find(kBackupDeviceFiles.begin(), kBackupDeviceFiles.end(), name) !=
           kBackupDeviceFiles.end();
}

void keepLoginLine(std::vector<std::string>& lines, std::string_view line) {
    if (lines.size() < kMaxLoginLines) lines.emplace_back(line.substr(0, kMaxLoginLineBytes));
}

std::string formatUtc(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(text, length);
}

std::string formatBackupRecord(const BackupRecord& record) {
    Json json;
    json[kFormatKey] = kRecordFormat;
    json[kDeviceFileKey] = record.origin.deviceFile;
    json[kSizeKey] = record.size;
    json[kSha256Key] = record.sha256;
    json[kTimeKey] = record.timeUtc;
    json[kPortKey] = record.origin.port;
    json[kDevicePathKey] = record.origin.devicePath;
    json[kLoginLinesKey] = record.origin.loginLines;
    // Device lines may hold any byte; JSON text must be UTF-8.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<BackupRecord> parseBackupRecord(const std::string& text, std::string* why) {
    // The parser takes a NUL byte for the end of its input: what follows would go unread.
    if (text.find('\0') != std::string::npos) {
        setWhy(why, "not JSON: it holds a NUL byte");
        return std::nullopt;
    }
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::exception& error) {
        setWhy(why, std::string("not JSON: ") + error.what());
        return std::nullopt;
    }
    if (!json.is_object()) {
        setWhy(why, "not a JSON object");
        return std::nullopt;
    }
    const auto* format = field(
        json, kFormatKey, [](const Json& v) { return v.is_number_integer(); }, "a number", why);
    if (format == nullptr) return std::nullopt;
    if (format->get<std::int64_t>() != kRecordFormat) {
        setWhy(why, "format " + format->dump() + " is not known (this program reads format " +
                        std::to_string(kRecordFormat) + ")");
        return std::nullopt;
    }
    // In order, so that the first missing or wrong field is the one named.
    const auto* deviceFile = field(
        json, kDeviceFileKey,
        [](const Json& v) {
            return v.is_string() && isBackupDeviceFile(v.get_ref<const std::string&>());
        },
        "\"setting\" or \"playlist\"", why);
    if (deviceFile == nullptr) return std::nullopt;
    const auto* size = field(
        json, kSizeKey, [](const Json& v) { return v.is_number_unsigned(); }, "a byte count", why);
    if (size == nullptr) return std::nullopt;
    const auto* sha256 = field(
        json, kSha256Key,
        [](const Json& v) { return v.is_string() && isSha256Hex(v.get_ref<const std::string&>()); },
        "64 lowercase hexadecimal digits", why);
    if (sha256 == nullptr) return std::nullopt;
    const auto* time = field(json, kTimeKey, isString, "a string", why);
    if (time == nullptr) return std::nullopt;
    const auto* port = field(json, kPortKey, isString, "a string", why);
    if (port == nullptr) return std::nullopt;
    const auto* devicePath = field(json, kDevicePathKey, isString, "a string", why);
    if (devicePath == nullptr) return std::nullopt;
    const auto* lines = field(
        json, kLoginLinesKey,
        [](const Json& v) {
            return v.is_array() && std::all_of(v.begin(), v.end(),
                                               [](const Json& line) { return line.is_string(); });
        },
        "a list of strings", why);
    if (lines == nullptr) return std::nullopt;
    BackupRecord record;
    record.origin.deviceFile = deviceFile->get<std::string>();
    record.origin.port = port->get<std::string>();
    record.origin.devicePath = devicePath->get<std::string>();
    record.origin.loginLines = lines->get<std::vector<std::string>>();
    record.size = size->get<std::uint64_t>();
    record.sha256 = sha256->get<std::string>();
    record.timeUtc = time->get<std::string>();
    return record;
}

std::optional<BackupRecord> writeBackupRecord(const std::filesystem::path& backup,
                                              const BackupOrigin& origin, std::string* why,
                                              std::chrono::system_clock::time_point now) {
    struct stat info {};
    if (::stat(backup.string().c_str(), &info) != 0) {
        setWhy(why, osReason("cannot read", backup, errno));
        return std::nullopt;
    }
    std::string readWhy;
    const auto digest = digestFile(backup, &readWhy);
    if (!digest) {
        setWhy(why, readWhy);
        return std::nullopt;
    }
    BackupRecord record;
    record.origin = origin;
    record.size = digest->size;
    record.sha256 = digest->sha256;
    record.timeUtc = formatUtc(now);

    const std::filesystem::path target = recordPathFor(backup);
    if (const auto failure =
            fsutil::writeFileAtomically(target, formatBackupRecord(record), info.st_mode & 0666)) {
        setWhy(why, writeFailureText(*failure, target));
        return std::nullopt;
    }
    return record;
}

RecordCheck checkBackup(const std::filesystem::path& backup) {
    RecordCheck check;
    const std::filesystem::path recordPath = recordPathFor(backup);
    std::string why;
    // A backup that is not there has nothing to be matched; say so first.
    if (!records::InputFile::open(backup, &why)) {
        check.status = RecordStatus::backupUnreadable;
        check.detail = why;
        return check;
    }
    int error = 0;
    auto file = records::InputFile::open(recordPath, &why, &error);
    if (!file) {
        if (error == ENOENT) {
            check.status = RecordStatus::noRecord;
            check.detail = "has no record (" + recordPath.filename().string() + ")";
        } else {
            check.status = RecordStatus::recordUnreadable;
            check.detail = "its record cannot be read: " + why;
        }
        return check;
    }
    std::string text;
    const ReadOutcome outcome = readAtMost(*file, kMaxRecordBytes, text, &why);
    if (outcome == ReadOutcome::failed) {
        check.status = RecordStatus::recordUnreadable;
        check.detail = "its record cannot be read: " + why;
        return check;
    }
    if (outcome == ReadOutcome::tooLarge) {
        why = "larger than " + std::to_string(kMaxRecordBytes) + " bytes";
    } else {
        check.record = parseBackupRecord(text, &why);
    }
    if (!check.record) {
        check.status = RecordStatus::recordMalformed;
        check.detail =
            "its record " + recordPath.filename().string() + " is not a valid record: " + why;
        return check;
    }
    check.actual = digestFile(backup, &why);
    if (!check.actual) {
        check.status = RecordStatus::backupUnreadable;
        check.detail = why;
        return check;
    }
    check.sizeDiffers = check.actual->size != check.record->size;
    check.hashDiffers = check.actual->sha256 != check.record->sha256;
    if (!check.sizeDiffers && !check.hashDiffers) {
        check.status = RecordStatus::matches;
        check.detail = "matches its record (" + std::to_string(check.actual->size) +
                       " bytes, SHA-256 " + check.actual->sha256 + ")";
        return check;
    }
    check.status = RecordStatus::differs;
    std::string detail = "does not match its record:";
    if (check.sizeDiffers) {
        detail += " size " + std::to_string(check.actual->size) + " bytes, the record says " +
                  std::to_string(check.record->size) + ";";
    }
    if (check.hashDiffers) {
        detail +=
            " SHA-256 " + check.actual->sha256 + ", the record says " + check.record->sha256 + ";";
    }
    detail.pop_back();
    check.detail = detail;
    return check;
}

}  // namespace tidewell
