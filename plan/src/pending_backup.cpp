#include "tidewell/plan/pending_backup.h"

#include <cerrno>
#include <utility>

#include "backup_files.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/temporary_file.h"
#include "tidewell/plan/device_step.h"
#include "tidewell/records/backup_record.h"

namespace tidewell {

namespace {

void setWhy(std::string* why, const std::string& what, const std::filesystem::path& path,
            int error) {
    if (why != nullptr) {
        *why = fsutil::OsError{what, path, error}.text();
    }
}

}  // namespace

PendingBackup::PendingBackup(std::filesystem::path folder, std::string baseName,
                             std::string pattern, std::filesystem::path partial)
    : folder_(std::move(folder)),
      baseName_(std::move(baseName)),
      pattern_(std::move(pattern)),
      partial_(std::move(partial)) {}

PendingBackup::PendingBackup(PendingBackup&& other) noexcept
    : folder_(std::move(other.folder_)),
      baseName_(std::move(other.baseName_)),
      pattern_(std::move(other.pattern_)),
      partial_(std::exchange(other.partial_, {})) {}

PendingBackup::~PendingBackup() {
    discard();
}

std::optional<PendingBackup> PendingBackup::create(const std::filesystem::path& folder,
                                                   std::string baseName,
                                                   std::string numberedPattern, std::string* why) {
    // A leading dot keeps the partial file out of "setting*.bak" listings.
    const fsutil::TemporaryFile reserved(folder, "." + baseName + ".partial-");
    if (reserved.creationError() != 0) {
        setWhy(why, "cannot create a file in", folder, reserved.creationError());
        return std::nullopt;
    }
    // Only the name is kept (the file goes with reserved): the transfer creates the
    // file itself, exclusively, so that nothing put at this name meanwhile is ever
    // written through.
    return PendingBackup(folder, std::move(baseName), std::move(numberedPattern), reserved.path());
}

std::optional<std::filesystem::path> PendingBackup::commit(std::string* why) {
    if (partial_.empty()) {
        if (why != nullptr) {
            *why = "the backup was already committed or discarded";
        }
        return std::nullopt;
    }
    for (;;) {
        // A record without its backup (the user's, or one whose backup was moved away)
        // keeps its number: the backup's record would replace it.
        const auto name = makeBackupName(folder_, baseName_, pattern_, why, kRecordSuffix);
        if (!name) {
            return std::nullopt;
        }
        const std::filesystem::path& target = *name;
        // Reserving the name with O_EXCL first means an existing file is never
        // replaced, and works on file systems without hard links.
        mode_t placeholderMode = 0;
        if (const int error = detail::reserveName(target, &placeholderMode); error != 0) {
            if (error == EEXIST) {
                continue;  // taken meanwhile: look for the next free name
            }
            setWhy(why, "cannot create", target, error);
            return std::nullopt;
        }
        // The partial file was made private; the backup gets the mode any new file of
        // the user's gets here (the umask applied to the placeholder).
        detail::giveMode(partial_, placeholderMode);
        if (const int error = detail::moveOver(partial_, target); error != 0) {
            detail::removeFile(target);
            setWhy(why, "cannot rename the received file to", target, error);
            return std::nullopt;
        }
        partial_.clear();
        return target;
    }
}

std::optional<std::filesystem::path> PendingBackup::commitAs(const std::filesystem::path& target,
                                                             bool replaceExisting,
                                                             std::string* why) {
    if (partial_.empty()) {
        if (why != nullptr) {
            *why = "the backup was already committed or discarded";
        }
        return std::nullopt;
    }
    bool reserved = false;
    mode_t existing = 0;
    if (replaceExisting && detail::typeOf(target, &existing) == 0) {
        if (!detail::isRegular(existing)) {
            if (why != nullptr) {
                *why = "cannot replace " + target.string() + ": not a regular file";
            }
            return std::nullopt;
        }
    } else {
        if (const int error = detail::reserveName(target, &existing); error != 0) {
            setWhy(why, "cannot create", target, error);
            return std::nullopt;
        }
        reserved = true;
    }
    detail::giveMode(partial_, existing);
    if (const int error = detail::moveOver(partial_, target); error != 0) {
        if (reserved) {
            detail::removeFile(target);
        }
        setWhy(why, "cannot rename the received file to", target, error);
        return std::nullopt;
    }
    partial_.clear();
    return target;
}

void PendingBackup::discard() {
    if (!partial_.empty()) {
        detail::removeFile(partial_);
        partial_.clear();
    }
}

}  // namespace tidewell
