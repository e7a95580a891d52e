// The session's backup records and read-back verification: `verify`, the record check
// before a restore, the read-back after a restore or update, the backups before an
// update, and the record of every backup taken.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "session.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/records/read_back.h"

namespace tidewell::cli {

namespace {

constexpr std::array<const char*, 2> kBackedUpFirst = {"setting", "playlist"};

// A private file for what the device sends back, removed with this object.
class ReadBackFile {
  public:
    ReadBackFile() = default;
    ReadBackFile(const ReadBackFile&) = delete;
    ReadBackFile& operator=(const ReadBackFile&) = delete;
    ~ReadBackFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    bool create(std::string* why) {
        std::error_code error;
        const auto folder = std::filesystem::temp_directory_path(error);
        std::string pattern = ((error ? "/tmp" : folder) / "tidewell-read-back-XXXXXX").string();
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // mode 0600
        if (fd < 0) {
            const int code = errno;
            *why =
                "cannot create a file for the data read back (" + pattern + "): " + osReason(code);
            return false;
        }
        // Only the name is kept: the transfer creates the file itself, exclusively.
        ::close(fd);
        ::unlink(pattern.c_str());
        path_ = pattern;
        return true;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

ExitStatus Session::verifyBackups() {
    ExitStatus first = ExitStatus::ok;
    for (const std::string& file : options_.files) {
        const RecordCheck check = checkBackup(file);
        if (check.ok()) {
            io_.out << file << ": " << check.detail << '\n' << std::flush;
            continue;
        }
        const ExitStatus status = check.status == RecordStatus::backupUnreadable
                                      ? ExitStatus::localFile
                                      : ExitStatus::backupMismatch;
        fail(status, file + ": " + check.detail);
        if (first == ExitStatus::ok) first = status;
    }
    return first;
}

ExitStatus Session::checkRestoreRecord() {
    const std::string& file = options_.localFile;
    const RecordCheck check = checkBackup(file);
    switch (check.status) {
        case RecordStatus::matches:
            info(file + " " + check.detail + ".");
            return ExitStatus::ok;
        case RecordStatus::noRecord:
            info(file + " " + check.detail + "; it is sent as it is.");
            return ExitStatus::ok;
        case RecordStatus::backupUnreadable:
            return fail(ExitStatus::localFile, check.detail);
        default:
            break;
    }
    if (!options_.force) {
        return fail(ExitStatus::backupMismatch, file + ": " + check.detail +
                                                    "; nothing was sent (--force restores it "
                                                    "anyway)");
    }
    info(file + ": " + check.detail + "; restoring it anyway (--force).");
    return ExitStatus::ok;
}

ExitStatus Session::backupFirst() {
    failureNote_ = "the package was not sent";
    for (const char* deviceFile : kBackedUpFirst) {
        if (const ExitStatus status = backup(deviceFile, options_.backupFirstDir);
            status != ExitStatus::ok) {
            return status;
        }
    }
    failureNote_.clear();
    return ExitStatus::ok;
}

ExitStatus Session::readBackAndCompare(const std::string& deviceFile, const std::string& sentFile) {
    failureNote_ = inQuotes(deviceFile) + " was sent, but could not be verified";
    ReadBackFile readBack;
    std::string why;
    if (!readBack.create(&why)) return fail(ExitStatus::localFile, why);
    if (const ExitStatus status =
            transfer({TransferWay::fromDevice, deviceFile, readBack.path(), "", {}, true});
        status != ExitStatus::ok) {
        return status;
    }
    const auto result = compareReadBackFiles(sentFile, readBack.path(), &why);
    if (!result) return fail(ExitStatus::localFile, why);
    failureNote_.clear();
    if (!result->matches()) {
        return fail(ExitStatus::verifyFailed,
                    link_->name() + ": verification of " + inQuotes(deviceFile) +
                        " failed: " + describeReadBack(*result) + "; it is not " + sentFile);
    }
    report_.verified = true;
    info("Verified: " + describeReadBack(*result) + ".");
    return ExitStatus::ok;
}

ExitStatus Session::writeRecord(const std::string& deviceFile, const std::string& backup) {
    const BackupOrigin origin{deviceFile, link_->portLabel(), link_->devicePath(), loginLines_};
    std::string why;
    if (!writeBackupRecord(backup, origin, &why)) {
        return fail(ExitStatus::localFile,
                    backup + " is complete, but its record could not be written: " + why);
    }
    return ExitStatus::ok;
}

}  // namespace tidewell::cli
