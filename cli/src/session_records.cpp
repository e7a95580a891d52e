// The session's backup records and read-back verification: `verify`, the record check
// before a restore, the read-back after a restore or update, the backups before an
// update, and the record of every backup taken.
#include <filesystem>
#include <memory>

#include "platform.h"
#include "session.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/temporary_file.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/records/read_back.h"

namespace tidewell::cli {

namespace {

// A private temporary file in the temporary folder, open for writing (mode 0600);
// null and *why when it cannot be made. name: "read-back"; what: what it is for.
std::unique_ptr<fsutil::TemporaryFile> privateFile(const std::string& name, const std::string& what,
                                                   std::string* why) {
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    const std::filesystem::path folder = error ? "/tmp" : temporary;
    const std::string prefix = "tidewell-" + name + "-";
    auto file = std::make_unique<fsutil::TemporaryFile>(folder, prefix);
    if (const int code = file->creationError()) {
        *why = "cannot create a file for " + what + " (" + (folder / (prefix + "XXXXXX")).string() +
               "): " + fsutil::reasonText(code);
        return nullptr;
    }
    return file;
}

}  // namespace

ExitStatus Session::verifyBackups(const std::vector<std::string>& files) {
    ExitStatus first = ExitStatus::ok;
    for (const std::string& file : files) {
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

ExitStatus Session::checkRestoreRecord(const FileToSend& restore) {
    const std::string& file = restore.localFile;
    const RecordCheck check = checkBackup(file);
    if (check.record && check.record->origin.deviceFile != restore.deviceFile) {
        const std::string other = file + ": its record says it is a backup of " +
                                  inQuotes(check.record->origin.deviceFile) + ", not of " +
                                  inQuotes(restore.deviceFile);
        if (!restore.force) {
            return fail(ExitStatus::backupMismatch,
                        other + "; nothing was sent (--force restores it anyway)");
        }
        info(other + "; restoring it anyway (--force).");
    }
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
    if (!restore.force) {
        return fail(ExitStatus::backupMismatch, file + ": " + check.detail +
                                                    "; nothing was sent (--force restores it "
                                                    "anyway)");
    }
    info(file + ": " + check.detail + "; restoring it anyway (--force).");
    return ExitStatus::ok;
}

ExitStatus Session::checkBackupFolder(const std::string& folder) {
    const int error = backupFolderError(folder);
    if (error == 0) return ExitStatus::ok;
    return fail(ExitStatus::localFile,
                "cannot put backups in " + folder + ": " + fsutil::reasonText(error));
}

ExitStatus Session::backupFirst(const std::string& folder) {
    failureNote_ = "the package was not sent";
    for (const std::string_view deviceFile : kBackupDeviceFiles) {
        if (const ExitStatus status = backup(std::string(deviceFile), folder);
            status != ExitStatus::ok) {
            return status;
        }
    }
    failureNote_.clear();
    return ExitStatus::ok;
}

ExitStatus Session::sendFile(const FileToSend& file, std::optional<std::uint64_t> size) {
    // What the device acknowledged, copied as it goes: the read-back is compared with
    // that, whatever becomes of the file meanwhile.
    std::unique_ptr<fsutil::TemporaryFile> sentCopy;
    std::string why;
    if (file.readsBack && !(sentCopy = privateFile("sent", "a copy of what is sent", &why)))
        return fail(ExitStatus::localFile, why);
    const ExitStatus sent = transfer({TransferWay::toDevice, file.deviceFile, file.localFile,
                                      file.localFile, size, false, sentCopy ? sentCopy->fd() : -1});
    if (sent != ExitStatus::ok) return sent;
    report_.bytes = lastTransfer_.bytes;
    report_.transferSeconds = lastTransfer_.seconds;
    report_.sha256 = lastTransfer_.sha256;
    if (!sentCopy) return ExitStatus::ok;
    if (lastTransfer_.copyError != 0) {
        return fail(ExitStatus::localFile,
                    "cannot keep a copy of what was sent (" + sentCopy->path().string() +
                        "): " + fsutil::reasonText(lastTransfer_.copyError) + "; " +
                        inQuotes(file.deviceFile) + " was sent, but could not be verified");
    }
    return readBackAndCompare(file, sentCopy->path().string());
}

ExitStatus Session::readBackAndCompare(const FileToSend& file, const std::string& sentCopy) {
    failureNote_ = inQuotes(file.deviceFile) + " was sent, but could not be verified";
    std::string why;
    const auto readBack = privateFile("read-back", "the data read back", &why);
    if (!readBack) return fail(ExitStatus::localFile, why);
    readBack->keepNameOnly();
    if (const ExitStatus status = transfer(
            {TransferWay::fromDevice, file.deviceFile, readBack->path().string(), "", {}, true});
        status != ExitStatus::ok) {
        return status;
    }
    const auto result = compareReadBackFiles(sentCopy, readBack->path(), &why);
    if (!result) return fail(ExitStatus::localFile, why);
    failureNote_.clear();
    if (!result->matches()) {
        return fail(ExitStatus::verifyFailed,
                    link_->name() + ": verification of " + inQuotes(file.deviceFile) +
                        " failed: " + describeReadBack(*result) + "; it is not " + file.localFile);
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
