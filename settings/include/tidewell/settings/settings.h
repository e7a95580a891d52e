// The application's settings: the six keys of the section "Tidewell" of the settings file
// (tidewell/ini/settings_store.h), each read by its own rule: the last port, the folders and
// the files last chosen. Every get reads the file afresh, every set writes it at once.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "tidewell/ini/settings_store.h"

namespace tidewell {

inline constexpr std::string_view kProfileSection = "Tidewell";
inline constexpr std::string_view kCommPortKey = "CommPort";
inline constexpr std::string_view kSettingPathKey = "SettingPath";
inline constexpr std::string_view kSettingFileKey = "SettingFile";
inline constexpr std::string_view kPlaylistPathKey = "PlaylistPath";
inline constexpr std::string_view kPlaylistFileKey = "PlaylistFile";
inline constexpr std::string_view kFirmwarePathKey = "FirmwarePath";
inline constexpr std::string_view kDefaultFolder = ".";

// The accessors of the application's settings, on the section "Tidewell".
class TidewellSettings {
  public:
    TidewellSettings() = default;
    explicit TidewellSettings(SettingsStore store) : store_(std::move(store)) {}

    // "CommPort": low 8 bits of the stored integer; 0 (also missing) gives 1.
    std::uint8_t getCommPort() const;
    void setCommPort(std::uint8_t portNumber);
    // Folders: an empty or missing value gives ".". File names: empty stays empty.
    std::string getSettingPath() const;
    void setSettingPath(const std::string& folder);
    std::string getSettingFile() const;
    void setSettingFile(const std::string& fileName);
    std::string getPlaylistPath() const;
    void setPlaylistPath(const std::string& folder);
    std::string getPlaylistFile() const;
    void setPlaylistFile(const std::string& fileName);
    std::string getFirmwarePath() const;
    void setFirmwarePath(const std::string& fullPath);

    SettingsStore& store() noexcept { return store_; }
    const SettingsStore& store() const noexcept { return store_; }

  private:
    std::string getFolder(std::string_view key) const;

    SettingsStore store_;
};

}  // namespace tidewell
