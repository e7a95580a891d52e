#include "tidewell/plan/device_step.h"

#include <system_error>

#include "tidewell/fsutil/os_error.h"

namespace tidewell {

namespace {

struct Operation {
    const char* name;
    std::int32_t operation;
    std::int32_t direction;
    const char* deviceFile;
    bool selected;
};

constexpr std::array<Operation, 5> kOperations{{
    {"Backup Setting", opBackupSetting, dirFromDevice, "setting", false},
    {"Backup Playlist", opBackupPlaylist, dirFromDevice, "playlist", false},
    {"Update Firmware", opUpdateFirmware, dirToDevice, "flashimage", true},
    {"Restore Setting", opRestoreSetting, dirToDevice, "setting", false},
    {"Restore Playlist", opRestorePlaylist, dirToDevice, "playlist", false},
}};

// Whether anything exists under path; error is set when that cannot be known.
bool nameTaken(const std::filesystem::path& path, std::error_code& error) {
    // symlink_status: a dangling link still takes the name.
    const auto status = std::filesystem::symlink_status(path, error);
    if (error == std::errc::no_such_file_or_directory) {
        error.clear();
        return false;
    }
    return !error && std::filesystem::exists(status);
}

// The pattern's "%d" replaced by n; the pattern is never used as a format string.
std::string withNumber(const std::string& pattern, unsigned long n) {
    std::string name = pattern;
    const auto at = name.find("%d");
    if (at != std::string::npos) {
        name.replace(at, 2, std::to_string(n));
    }
    return name;
}

}  // namespace

void CDeviceStepList::fillOperations() {
    for (std::size_t slot = 0; slot < kOperations.size(); ++slot) {
        const Operation& op = kOperations[slot];
        CDeviceStep& step = steps_[slot];
        step.setName(op.name);
        step.setOperation(op.operation);
        step.setDirection(op.direction);
        step.setDeviceFile(op.deviceFile);
        step.setLocalFile("");
        step.setOffered(true);
        step.setSelected(op.selected);
    }
    count_ = static_cast<std::uint8_t>(kOperations.size());
}

CDeviceStep* CDeviceStepList::getStep(std::uint8_t index) {
    return index < count_ ? &steps_[index] : nullptr;
}

void CDeviceStepList::resetCursor() {
    cursor_ = 0;
    cursorRestart_ = true;
}

bool CDeviceStepList::moveNext() {
    if (count_ == 0) {
        return false;
    }
    unsigned candidate = cursor_;
    if (cursorRestart_) {
        cursorRestart_ = false;
    } else {
        ++candidate;
    }
    for (; candidate < count_; ++candidate) {
        if (steps_[candidate].isSelected()) {
            cursor_ = static_cast<std::uint8_t>(candidate);
            return true;
        }
    }
    return false;
}

std::optional<std::filesystem::path> makeBackupName(const std::filesystem::path& folder,
                                                    const std::string& baseName,
                                                    const std::string& numberedPattern,
                                                    std::string* why,
                                                    std::string_view companionSuffix) {
    std::error_code error;
    const auto taken = [&](const std::filesystem::path& name) {
        if (nameTaken(name, error)) return true;
        if (error || companionSuffix.empty()) return false;
        std::filesystem::path companion = name;
        companion += companionSuffix;
        return nameTaken(companion, error);
    };
    std::filesystem::path candidate = folder / baseName;
    for (unsigned long n = 1; taken(candidate); ++n) {
        candidate = folder / withNumber(numberedPattern, n);
    }
    if (error) {
        // Every further name would fail alike: counting them as taken never ends.
        if (why != nullptr) {
            *why = fsutil::OsError{"cannot look for a free backup name in", folder, error.value()}
                       .text();
        }
        return std::nullopt;
    }
    return candidate;
}

}  // namespace tidewell
