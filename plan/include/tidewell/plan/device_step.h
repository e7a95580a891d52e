// The operation plan: the five device operations, which of them the user chose,
// and the naming rule of new backup files.
//
// All of it lives on the window thread; the list keeps one cursor, so only the
// page that is showing walks it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

enum OperationCode : std::int32_t {
    opUpdateFirmware = 1,
    opBackupSetting = 2,
    opRestoreSetting = 3,
    opBackupPlaylist = 4,
    opRestorePlaylist = 5,
};

enum TransferDirection : std::int32_t {
    dirFromDevice = 1,  // backups
    dirToDevice = 2,    // update and restores
};

class CDeviceStep {
  public:
    CDeviceStep() = default;
    virtual ~CDeviceStep() = default;

    std::string getName() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    std::string getDeviceFile() const { return deviceFile_; }
    void setDeviceFile(std::string file) { deviceFile_ = std::move(file); }
    std::string getLocalFile() const { return localFile_; }
    void setLocalFile(std::string file) { localFile_ = std::move(file); }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }
    bool isOffered() const { return offered_; }
    void setOffered(bool offered) { offered_ = offered; }
    std::uint8_t getMenuSlot() const { return menuSlot_; }
    void setMenuSlot(std::uint8_t slot) { menuSlot_ = slot; }
    std::int32_t getOperation() const { return operation_; }
    void setOperation(std::int32_t operation) { operation_ = operation; }
    std::int32_t getDirection() const { return direction_; }
    void setDirection(std::int32_t direction) { direction_ = direction; }

  private:
    std::string name_;
    std::string deviceFile_;
    std::string localFile_;
    bool selected_ = false;
    bool offered_ = false;
    std::uint8_t menuSlot_ = 0;
    std::int32_t operation_ = 0;
    std::int32_t direction_ = 0;
};

class CDeviceStepList {
  public:
    static constexpr std::size_t capacity = 10;

    CDeviceStepList() = default;
    virtual ~CDeviceStepList() = default;

    // Backup Setting, Backup Playlist, Update Firmware (selected), Restore Setting,
    // Restore Playlist, in slots 0 to 4.
    void fillOperations();
    std::uint8_t getCount() const { return count_; }
    // Null when index is not below the count.
    CDeviceStep* getStep(std::uint8_t index);
    void resetCursor();
    // Moves to the next selected step; right after resetCursor the step under the
    // cursor counts too. False (cursor unchanged) when there is none.
    bool moveNext();
    CDeviceStep* getCurrent() { return getStep(cursor_); }

  private:
    std::uint8_t count_ = 0;
    std::array<CDeviceStep, capacity> steps_{};
    bool cursorRestart_ = true;
    std::uint8_t cursor_ = 0;
};

// The first free name in folder: baseName, then numberedPattern ("setting_%d.bak")
// with 1, 2, ... A name is taken when anything exists under it, readable or not, or
// under it with companionSuffix appended (a backup's record), when that is given.
// Nothing, and *why naming the folder and the reason, when the folder cannot be
// searched (no search permission, no longer a folder ...): no name can be known free.
std::optional<std::filesystem::path> makeBackupName(const std::filesystem::path& folder,
                                                    const std::string& baseName,
                                                    const std::string& numberedPattern,
                                                    std::string* why = nullptr,
                                                    std::string_view companionSuffix = {});

}  // namespace tidewell
